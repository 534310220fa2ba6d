#pragma once
// The instrument settings the acquisition windows edit, and their conversion
// to and from the words of the configuration table. Pure functions: the
// windows read their controls into AcquisitionSettings and call these.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/IqspProtocol.h"

namespace orvala {

using ConfigTable = std::array<uint16_t, iqsp::ConfigWords>;

enum class TriggerMode { Edge = 0, Internal = 1 };
enum class TimeUnit { ms = 0, us = 1, ns = 2 };
// The channel layouts of the "ADCMode" group, in the group's order.
enum class AdcMode { Pmt32Foa6 = 0, Ditto6 = 1, Asahi6 = 2, All64 = 3 };

struct AdcLayout {
    uint16_t groups[4];   // configuration words 3..6
    int bars;             // channel bars shown
    double axisMax;       // bottom axis maximum of the channel chart
};
const AdcLayout& Layout(AdcMode mode);
// The captions of the "ADCMode" group, in AdcMode order.
const std::vector<std::string>& AdcModeCaptions();

struct AcquisitionSettings {
    TriggerMode trigger = TriggerMode::Edge;
    bool boxCar = true;
    double rateHz = 1000;
    double integTime = 15;
    TimeUnit unit = TimeUnit::us;
    bool background = true;
    bool hvOn = false;
    int hvScroll = 100;  // position of the high-voltage scroll bar, 50..800
    AdcMode adc = AdcMode::Pmt32Foa6;
};

// Trigger period in 10-ns ticks for a rate in Hz. Throws OrvalaError for a rate
// that is not a positive number or whose period does not fit 32 bits or is 0.
uint32_t RatePeriod(double rateHz);
// Integration time t in the unit's ticks of 10 ns; throws for a negative or
// non-finite time or one that does not fit 32 bits.
uint32_t IntegrationTicks(double t, TimeUnit unit);
// 10-ns ticks per unit: 1e5 for ms, 100 for us, 0.1 for ns.
double UnitFactor(TimeUnit unit);
// Configuration word 8 for scroll position p, and back.
uint16_t HighVoltageWord(int p);
int HighVoltageScroll(uint16_t word8);
// The text of the "HighVolt" field for scroll position p.
std::string HighVoltageText(int p);

// Copies the acquisition window's settings into the table; throws before
// touching the table when a value cannot be converted.
void WriteSettings(const AcquisitionSettings& s, ConfigTable& table);
// The HyperCyt window's settings: high voltage always off, time stamp always
// on, boxcar exactly in edge trigger mode; words 3..6 are left alone.
void WriteHyperCytSettings(const AcquisitionSettings& s, ConfigTable& table);
// The settings a table shows; what the table does not hold (unit, ADC mode)
// comes from current. A period of 0 shows the current rate.
AcquisitionSettings ShowSettings(const ConfigTable& table, const AcquisitionSettings& current);

// A number typed by the user, with "." as decimal separator whatever the
// locale; throws OrvalaError naming the text when it is not a number.
double ParseNumber(const std::string& text);
// A limit field: 0 (no limit) when empty or not a number.
int64_t ParseLimit(const std::string& text);

// Channel name j (0-based): entry j of names, or "ch" + (j + 1).
std::string ChannelName(const std::vector<std::string>& names, int j);

// The running value range of a bar chart: grows to take every value, but its
// lower end never goes below -200.
struct DisplayRange {
    double min = 0, max = 1;
    void take(double v);
    void reset() { min = 0, max = 1; }
};

// The values of one decoded event on the bars of the acquisition window:
// channel bars and six scatter bars by ADC mode. Values beyond count are 0.
void BarValues(AdcMode mode, const double* values, int count, std::vector<double>& channelBars,
               std::vector<double>& scatterBars);

// The "TimeStamp" label for a time stamp in seconds: blank for 0 or a value
// that is not finite (no event yet, or no time stamp in the packets).
std::string TimeStampText(double seconds);

// HyperCyt-compatible channels: four-decade log channel of a fluorescence or
// scatter value (0..1023), the boxcar width channel, and the time in units of
// the resolution r (0.1 when r is 0 or less) since t0.
uint16_t HyperCytLogChannel(double v);
uint16_t HyperCytWidthChannel(double v);
int32_t HyperCytTime(double t, double t0, double r);

// The 32-bit time stamp wraps (every 2^32 ticks, about 429 s at the default
// 100-ns tick); this turns a sequence of wrapped times into a rising one.
class TimeUnwrapper {
public:
    // secondsPerTick: the decoder's time resolution.
    explicit TimeUnwrapper(double secondsPerTick) : span_(4294967296.0 * secondsPerTick) {}
    double operator()(double t);

private:
    double span_;
    double offset_ = 0;
    double last_ = 0;
    bool first_ = true;
};

}  // namespace orvala
