#include <gtest/gtest.h>

#include <hidapi.h>

#include "instruments/HidapiTransport.h"
#include "instruments/IqspLink.h"

using namespace orvala;

TEST(HidapiReportLengths, LargestReportPerKindPlusTheIdByte)
{
    const std::vector<uint8_t> descriptor = {
        0x06, 0x00, 0xFF,        // usage page (vendor)
        0x09, 0x01,              // usage
        0xA1, 0x01,              // collection (application)
        0x85, 0x11,              //   report id 17
        0x75, 0x08,              //   report size 8
        0x96, 0x00, 0x10,        //   report count 4096
        0x81, 0x02,              //   input
        0x91, 0x02,              //   output
        0x85, 0x01,              //   report id 1
        0xA4,                    //   push
        0x95, 0x40,              //   report count 64
        0xB1, 0x02,              //   feature
        0xB4,                    //   pop: count back to 4096
        0x85, 0x02,              //   report id 2
        0x95, 0x01,              //   report count 1
        0x81, 0x02,              //   input: 1 byte
        0x96, 0x01, 0x10,        //   report count 4097
        0x81, 0x02,              //   input: report 2 now holds 4098 bytes
        0xC0,                    // end collection
    };
    const ReportLengths l = ReportLengthsFromDescriptor(descriptor);
    EXPECT_EQ(l.input, 4099);
    EXPECT_EQ(l.output, 4097);
    EXPECT_EQ(l.feature, 65);

    // Nothing readable, or a kind not described: the fallback.
    const ReportLengths none = ReportLengthsFromDescriptor({});
    EXPECT_EQ(none.input, 4098);
    EXPECT_EQ(none.output, 4098);
    EXPECT_EQ(none.feature, 4098);
    const ReportLengths cut = ReportLengthsFromDescriptor({0x75, 0x08, 0x96, 0x00});  // truncated item
    EXPECT_EQ(cut.input, 4098);
}

TEST(HidapiTransport, NoDeviceIsReportedAsNotDetected)
{
    ASSERT_EQ(hid_init(), 0);
    hid_device_info* present = hid_enumerate(0x0925, 0x1234);
    const bool attached = present != nullptr;
    hid_free_enumeration(present);
    if (attached)
        GTEST_SKIP() << "an instrument is attached to this machine";

    IqspLink link(std::make_unique<HidapiTransport>());
    std::string message;
    ASSERT_TRUE(link.LinkInit(&message)) << message;
    int error = 0;
    uint8_t serial[4] = {1, 2, 3, 4};
    link.DeviceOpen(200, serial, error);
    EXPECT_EQ(error, 7000);
    EXPECT_EQ(link.ErrorText(error), "iQSP Initialization Failed, iQSP Not Detected");
    EXPECT_FALSE(link.IsOpen());
    error = 0;
    int count = 0;
    const uint16_t sel = 0;
    link.ControlOp(4, &sel, 1, 1000, count, nullptr, 0, error);
    EXPECT_EQ(error, 5000);
    link.LinkTerminate();
}
