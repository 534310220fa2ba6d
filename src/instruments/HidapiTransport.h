#pragma once
// The instrument through hidapi's hidraw backend on Linux. Data reads poll
// with a short time-out so that the link's stop flag is seen promptly. What
// hidraw cannot tell (report lengths, the bus speed, the serial string) comes
// from sysfs.
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/HidTransport.h"

struct hid_device_;

namespace orvala {

// Report lengths (each plus the report-id byte) from a HID report descriptor:
// per kind, the largest report over all report ids. A kind the descriptor does
// not describe gets fallback.
ReportLengths ReportLengthsFromDescriptor(const std::vector<uint8_t>& descriptor, int fallback = 4098);

// True when hidapi finds an instrument attached (for the device picker); the
// HID layer stays initialised for the transport that opens it next.
bool InstrumentAttached();

class HidapiTransport : public HidTransport {
public:
    HidapiTransport() = default;
    ~HidapiTransport() override;

    bool init(std::string& message) override;
    void exit() override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return device_ != nullptr; }
    ReportLengths reportLengths() const override { return lengths_; }
    int write(const uint8_t* data, size_t length) override;
    int readTimeout(uint8_t* data, size_t length, int timeoutMs) override;
    int sendFeatureReport(const uint8_t* data, size_t length) override;
    int getFeatureReport(uint8_t* data, size_t length) override;
    // 3: the bus speed ("High" for 480 Mbit/s), 4: the serial number.
    bool indexedString(int index, std::string& text) override;
    // hidraw has no input-buffer count: the kernel queues reports itself, and
    // reports it drops show up as sequence errors.
    bool setInputBufferCount(int count) override;
    int inputBufferCount() override { return inputBuffers_; }

private:
    hid_device_* device_ = nullptr;
    bool initialised_ = false;
    std::string sysfsDevice_;  // the USB device folder in sysfs, when found
    std::string serial_;
    ReportLengths lengths_;
    int inputBuffers_ = 0;
};

}  // namespace orvala
