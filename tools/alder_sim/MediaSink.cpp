#include "tools/alder_sim/MediaSink.h"

namespace alder {

using ferrow::wire::Message;
using ferrow::wire::Type;

void MediaSink::Push(Message message)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_)
        return;
    if (message.header.type == Type::Video) {
        bool key = message.header.flags & ferrow::wire::kVideoKeyFrame;
        if (queuedBytes_ + message.payload.size() > kMaxQueuedBytes)
            dropping_ = true;
        if (dropping_ && !key)
            return;
        dropping_ = false;
    }
    queuedBytes_ += message.payload.size();
    queue_.push_back(std::move(message));
    ready_.notify_one();
}

std::optional<Message> MediaSink::Pop(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(lock_);
    ready_.wait_for(lock, timeout, [this] { return closed_ || !queue_.empty(); });
    if (closed_ || queue_.empty())
        return std::nullopt;
    Message message = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= message.payload.size();
    return message;
}

void MediaSink::Close()
{
    std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    queue_.clear();
    ready_.notify_all();
}

bool MediaSink::closed() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return closed_;
}

}  // namespace alder
