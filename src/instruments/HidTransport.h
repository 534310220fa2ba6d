#pragma once
// The device access under the instrument link. The link knows nothing of which
// implementation it talks to: the real device through hidapi, or the simulator.
// Every call comes from the link's one worker thread.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvala {

// Report lengths in bytes, each including the report-id byte.
struct ReportLengths {
    int input = 0;
    int output = 0;
    int feature = 0;
};

class HidTransport {
public:
    virtual ~HidTransport() = default;

    // Prepares the library beneath; false with a user-facing message on failure.
    virtual bool init(std::string& message) = 0;
    // Releases what init took; the transport may be initialised again.
    virtual void exit() = 0;

    // Finds and opens the instrument; false when none is present.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Valid while open.
    virtual ReportLengths reportLengths() const = 0;

    // Writes one output report (byte 0 is the report id); bytes written, < 0 on failure.
    virtual int write(const uint8_t* data, size_t length) = 0;
    // Reads one input report into data; bytes read, 0 when timeoutMs passed
    // without one, -1 on failure.
    virtual int readTimeout(uint8_t* data, size_t length, int timeoutMs) = 0;
    // Feature reports (byte 0 is the report id); bytes transferred, < 0 on failure.
    virtual int sendFeatureReport(const uint8_t* data, size_t length) = 0;
    virtual int getFeatureReport(uint8_t* data, size_t length) = 0;

    // USB string descriptor number index; false when it cannot be read.
    virtual bool indexedString(int index, std::string& text) = 0;

    virtual bool setInputBufferCount(int count) = 0;
    // -1 when it cannot be read.
    virtual int inputBufferCount() = 0;
};

}  // namespace orvala
