#include "platform/codecs/GuardedCall.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/codecs/CodecModule.h"

namespace {

// The fault is the point: sanitizers must not report it first.
__attribute__((no_sanitize("address", "undefined"))) void WriteThroughNull(void* context)
{
    volatile int* target = static_cast<int* volatile*>(context)[0];
    *target = 42;
}

void Increment(void* context)
{
    ++*static_cast<int*>(context);
}

struct Nested {
    bool innerReturned = true;
    int after = 0;
};

void FaultInsideInnerGuard(void* context)
{
    auto* nested = static_cast<Nested*>(context);
    int* null = nullptr;
    nested->innerReturned = platform::RunGuarded(WriteThroughNull, &null);
    nested->after = 1;
}

}  // namespace

TEST(GuardedCall, AFaultReturnsToTheCallerAndLaterCallsStillRun)
{
    int* null = nullptr;
    EXPECT_FALSE(platform::RunGuarded(WriteThroughNull, &null));
    int counter = 0;
    EXPECT_TRUE(platform::RunGuarded(Increment, &counter));
    EXPECT_EQ(counter, 1);

    // An inner guard catches its own fault; the outer call goes on normally.
    Nested nested;
    EXPECT_TRUE(platform::RunGuarded(FaultInsideInnerGuard, &nested));
    EXPECT_FALSE(nested.innerReturned);
    EXPECT_EQ(nested.after, 1);

    // Each thread has its own guard.
    bool otherThread = true;
    std::thread worker([&] {
        int* none = nullptr;
        otherThread = platform::RunGuarded(WriteThroughNull, &none);
    });
    worker.join();
    EXPECT_FALSE(otherThread);
}

TEST(CodecModule, BindsFunctionsOfALibraryLoadedByName)
{
    platform::HMODULE module = platform::LoadCodecModule("libxvidcore.so.4");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(platform::GetCodecModuleFunction(module, "xvid_decore"), nullptr);
    EXPECT_NE(platform::GetCodecModuleFunction(module, "xvid_global"), nullptr);
    EXPECT_EQ(platform::GetCodecModuleFunction(module, "xvid_no_such_function"), nullptr);
    platform::FreeCodecModule(module);
    EXPECT_EQ(platform::LoadCodecModule("libno-such-codec.so.9"), nullptr);
    EXPECT_EQ(platform::LoadCodecModule(""), nullptr);
}
