#include "instruments/HidapiTransport.h"

#include <hidapi.h>
#include <libusb.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "instruments/IqspProtocol.h"

namespace orvala {

namespace fs = std::filesystem;

namespace {

std::string ReadSmallFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// String descriptor `index` of the USB device at bus/address, read through
// libusb: hidraw has no call for indexed strings. Empty when the device cannot
// be opened (no permission on its usbfs node) or has no such string.
std::string UsbString(int bus, int address, int index)
{
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0)
        return {};
    std::string text;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < count && text.empty(); ++i) {
        libusb_device* dev = list[i];
        if (libusb_get_bus_number(dev) != bus || libusb_get_device_address(dev) != address)
            continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(dev, &handle) != 0)
            break;
        unsigned char buf[256];
        const int n = libusb_get_string_descriptor_ascii(handle, uint8_t(index), buf, sizeof buf);
        if (n > 0)
            text.assign(reinterpret_cast<const char*>(buf), size_t(n));
        libusb_close(handle);
    }
    if (count >= 0)
        libusb_free_device_list(list, 1);
    libusb_exit(ctx);
    return text;
}

int ParseSmallInt(const std::string& s)
{
    int v = 0;
    if (s.empty())
        return -1;
    for (char c : s) {
        if (c < '0' || c > '9' || v > 100000)
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string Narrow(const wchar_t* w)
{
    std::string s;
    for (; w && *w; ++w)
        s.push_back(*w < 128 ? char(*w) : '?');
    return s;
}

}  // namespace

ReportLengths ReportLengthsFromDescriptor(const std::vector<uint8_t>& d, int fallback)
{
    struct Globals {
        uint32_t size = 0, count = 0, id = 0;
    };
    Globals g;
    std::vector<Globals> stack;
    std::map<uint32_t, uint64_t> bits[3];  // input, output, feature: bits per report id
    size_t i = 0;
    while (i < d.size()) {
        const uint8_t prefix = d[i];
        if (prefix == 0xFE) {  // long item: size in the next byte
            if (i + 1 >= d.size())
                break;
            i += 3 + size_t(d[i + 1]);
            continue;
        }
        static constexpr size_t kSizes[4] = {0, 1, 2, 4};
        const size_t n = kSizes[prefix & 3];
        if (i + 1 + n > d.size())
            break;
        uint32_t v = 0;
        for (size_t k = 0; k < n; ++k)
            v |= uint32_t(d[i + 1 + k]) << (8 * k);
        switch (prefix & 0xFC) {
        case 0x74: g.size = v; break;
        case 0x94: g.count = v; break;
        case 0x84: g.id = v; break;
        case 0xA4: stack.push_back(g); break;
        case 0xB4:
            if (!stack.empty()) {
                g = stack.back();
                stack.pop_back();
            }
            break;
        case 0x80: bits[0][g.id] += uint64_t(g.size) * g.count; break;
        case 0x90: bits[1][g.id] += uint64_t(g.size) * g.count; break;
        case 0xB0: bits[2][g.id] += uint64_t(g.size) * g.count; break;
        default: break;
        }
        i += 1 + n;
    }
    int len[3];
    for (int k = 0; k < 3; ++k) {
        uint64_t most = 0;
        for (const auto& [id, b] : bits[k])
            most = std::max(most, b);
        // Byte 0 of every report we exchange is the report id.
        len[k] = most == 0 || most > 8 * 65535ull ? fallback : int((most + 7) / 8) + 1;
    }
    return {len[0], len[1], len[2]};
}

HidapiTransport::~HidapiTransport()
{
    close();
    exit();
}

bool InstrumentAttached()
{
    if (hid_init() != 0)
        return false;
    hid_device_info* list = hid_enumerate(iqsp::VendorId, iqsp::ProductId);
    const bool found = list != nullptr;
    hid_free_enumeration(list);
    return found;
}

bool HidapiTransport::init(std::string& message)
{
    if (initialised_)
        return true;
    if (hid_init() != 0) {
        message = "The USB HID layer (hidapi, hidraw backend) could not be initialised.";
        return false;
    }
    initialised_ = true;
    return true;
}

void HidapiTransport::exit()
{
    if (!initialised_)
        return;
    close();
    hid_exit();
    initialised_ = false;
}

bool HidapiTransport::open()
{
    close();
    hid_device_info* list = hid_enumerate(iqsp::VendorId, iqsp::ProductId);
    std::string path;
    for (hid_device_info* d = list; d && path.empty(); d = d->next) {
        if (!d->path)
            continue;
        device_ = hid_open_path(d->path);
        if (device_) {
            path = d->path;
            serial_ = Narrow(d->serial_number);
        }
    }
    hid_free_enumeration(list);
    if (!device_)
        return false;
    // /dev/hidrawN -> /sys/class/hidraw/hidrawN/device is the HID device; its
    // grandparent is the USB device with the speed and serial files.
    sysfsDevice_.clear();
    std::vector<uint8_t> descriptor;
    std::error_code ec;
    const fs::path hid = fs::canonical(fs::path("/sys/class/hidraw") / fs::path(path).filename() / "device", ec);
    if (!ec) {
        std::ifstream in(hid / "report_descriptor", std::ios::binary);
        descriptor.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const fs::path usb = hid.parent_path().parent_path();
        if (fs::exists(usb / "speed", ec))
            sysfsDevice_ = usb.string();
    }
    lengths_ = ReportLengthsFromDescriptor(descriptor);
    if (serial_.empty() && !sysfsDevice_.empty())
        serial_ = ReadSmallFile(fs::path(sysfsDevice_) / "serial");
    return true;
}

void HidapiTransport::close()
{
    if (device_)
        hid_close(device_);
    device_ = nullptr;
}

int HidapiTransport::write(const uint8_t* data, size_t length)
{
    return device_ ? hid_write(device_, data, length) : -1;
}

int HidapiTransport::readTimeout(uint8_t* data, size_t length, int timeoutMs)
{
    return device_ ? hid_read_timeout(device_, data, length, timeoutMs) : -1;
}

int HidapiTransport::sendFeatureReport(const uint8_t* data, size_t length)
{
    return device_ ? hid_send_feature_report(device_, data, length) : -1;
}

int HidapiTransport::getFeatureReport(uint8_t* data, size_t length)
{
    return device_ ? hid_get_feature_report(device_, data, length) : -1;
}

bool HidapiTransport::indexedString(int index, std::string& text)
{
    if (!device_)
        return false;
    if (!sysfsDevice_.empty()) {
        const int bus = ParseSmallInt(ReadSmallFile(fs::path(sysfsDevice_) / "busnum"));
        const int address = ParseSmallInt(ReadSmallFile(fs::path(sysfsDevice_) / "devnum"));
        if (bus > 0 && address > 0) {
            std::string usb = UsbString(bus, address, index);
            if (!usb.empty()) {
                text = std::move(usb);
                return true;
            }
        }
    }
    // Without access to the usbfs node: the serial hidapi or sysfs gave, and
    // the negotiated speed from sysfs.
    if (index == 4) {
        text = serial_;
        return !serial_.empty();
    }
    if (index != 3 || sysfsDevice_.empty())
        return false;
    // String 3 names the bus speed; sysfs gives the negotiated speed in Mbit/s.
    const std::string mbits = ReadSmallFile(fs::path(sysfsDevice_) / "speed");
    if (mbits.empty())
        return false;
    text = mbits == "480" ? "High" : mbits == "12" ? "Full" : mbits == "1.5" ? "Low" : mbits;
    return true;
}

bool HidapiTransport::setInputBufferCount(int count)
{
    inputBuffers_ = count;
    return true;
}

}  // namespace orvala
