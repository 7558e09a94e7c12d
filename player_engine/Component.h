#pragma once

namespace pellix {

// What a component is; the numbers are fixed because callers check them before they chain
// two components (a decoder opens only on a splitter, a frame buffer only on a decoder).
enum class ComponentKind : int {
    Source = 0,
    Splitter = 1,
    VideoDecoder = 2,
    AudioDecoder = 3,
    VideoFrameBuffer = 4,
    AudioBuffer = 5,
    VideoRenderer = 6,
    SoundOutput = 7,
};

// The base every engine component shares: its kind and a display name that callers use to
// choose the next component of the chain (the splitter wrapper looks at the source's name).
class Component {
public:
    virtual ~Component() = default;
    virtual ComponentKind Kind() const = 0;
    virtual const char* DisplayName() const = 0;
};

}  // namespace pellix
