#include "instruments/AcquisitionSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/Messages.h"

namespace orvala {

namespace {

void put32(ConfigTable& t, size_t word, uint32_t v)
{
    t[word] = uint16_t(v & 0xFFFF);
    t[word + 1] = uint16_t(v >> 16);
}

uint32_t get32(const ConfigTable& t, size_t word) { return uint32_t(t[word]) | (uint32_t(t[word + 1]) << 16); }

std::string number(double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The period and integration words are shared by both windows.
void writeTiming(const AcquisitionSettings& s, ConfigTable& t, uint32_t period, uint32_t integ)
{
    t[100] = uint16_t(s.trigger == TriggerMode::Internal ? 1 : 0);
    for (size_t w = 104; w <= 110; w += 2)
        put32(t, w, period);
    put32(t, 112, integ);
    t[71] = uint16_t(s.background ? 4 : 0);
}

}  // namespace

const AdcLayout& Layout(AdcMode mode)
{
    static const AdcLayout layouts[4] = {
        {{14, 8, 8, 8}, 32, 32.5},
        {{16, 12, 8, 8}, 38, 38.5},
        {{16, 12, 8, 8}, 6, 6.5},
        {{16, 16, 16, 16}, 64, 64.5},
    };
    return layouts[std::clamp(int(mode), 0, 3)];
}

const std::vector<std::string>& AdcModeCaptions()
{
    static const std::vector<std::string> captions = {"32 ch PMT + 6 ch FOA", "ditto + 6 ch", "6-PMT asahi module",
                                                      "All 64 ch"};
    return captions;
}

uint32_t RatePeriod(double rateHz)
{
    if (!std::isfinite(rateHz) || rateHz <= 0)
        throw OrvalaError("The rate must be a positive number of Hz, not " + number(rateHz));
    const double ticks = std::nearbyint(1e8 / rateHz);
    if (ticks < 1 || ticks > 4294967295.0)
        throw OrvalaError("The rate " + number(rateHz) + " Hz is out of the instrument's range");
    return uint32_t(ticks);
}

double UnitFactor(TimeUnit unit)
{
    switch (unit) {
    case TimeUnit::ms:
        return 1e5;
    case TimeUnit::us:
        return 100;
    case TimeUnit::ns:
        return 0.1;
    }
    return 100;
}

uint32_t IntegrationTicks(double t, TimeUnit unit)
{
    const double ticks = std::nearbyint(t * UnitFactor(unit));
    if (!std::isfinite(ticks) || ticks < 0 || ticks > 4294967295.0)
        throw OrvalaError("The integration time " + number(t) + " is out of the instrument's range");
    return uint32_t(ticks);
}

uint16_t HighVoltageWord(int p) { return uint16_t(std::clamp(850 - p, 0, 6553) * 10); }

int HighVoltageScroll(uint16_t word8) { return 850 - word8 / 10; }

std::string HighVoltageText(int p) { return std::to_string(850 - p); }

void WriteSettings(const AcquisitionSettings& s, ConfigTable& t)
{
    // Everything that can fail is converted before the first word changes.
    const uint32_t period = RatePeriod(s.rateHz);
    const uint32_t integ = IntegrationTicks(s.integTime, s.unit);
    writeTiming(s, t, period, integ);
    t[7] = uint16_t(s.hvOn ? 1 : 0);
    t[8] = HighVoltageWord(s.hvScroll);
    const uint16_t box = uint16_t(s.trigger == TriggerMode::Edge && s.boxCar ? 1 : 0);
    t[90] = box;
    t[91] = box;
    const AdcLayout& l = Layout(s.adc);
    for (size_t g = 0; g < 4; ++g)
        t[3 + g] = l.groups[g];
}

void WriteHyperCytSettings(const AcquisitionSettings& s, ConfigTable& t)
{
    const uint32_t period = RatePeriod(s.rateHz);
    const uint32_t integ = IntegrationTicks(s.integTime, s.unit);
    writeTiming(s, t, period, integ);
    t[7] = 0;
    t[72] = 1;
    const uint16_t box = uint16_t(s.trigger == TriggerMode::Edge ? 1 : 0);
    t[90] = box;
    t[91] = box;
}

AcquisitionSettings ShowSettings(const ConfigTable& t, const AcquisitionSettings& current)
{
    AcquisitionSettings s = current;
    s.hvOn = (t[7] & 1) != 0;
    s.hvScroll = std::clamp(HighVoltageScroll(t[8]), 50, 800);
    s.trigger = t[100] ? TriggerMode::Internal : TriggerMode::Edge;
    s.boxCar = t[90] != 0;
    const uint32_t period = get32(t, 104);
    if (period > 0)
        s.rateHz = 1e8 / period;
    s.integTime = get32(t, 112) / UnitFactor(s.unit);
    s.background = (t[71] & 4) != 0;
    return s;
}

double ParseNumber(const std::string& text)
{
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t'))
        --e;
    if (b < e && *b == '+')
        ++b;
    double v = 0;
    const auto r = std::from_chars(b, e, v);
    if (b == e || r.ec != std::errc() || r.ptr != e)
        throw OrvalaError("'" + text + "' is not a valid number");
    return v;
}

int64_t ParseLimit(const std::string& text)
{
    try {
        const double v = ParseNumber(text);
        if (!std::isfinite(v) || v <= 0)
            return 0;
        return int64_t(std::min(std::nearbyint(v), 9e18));
    } catch (const OrvalaError&) {
        return 0;
    }
}

std::string ChannelName(const std::vector<std::string>& names, int j)
{
    if (j >= 0 && size_t(j) < names.size())
        return names[size_t(j)];
    return "ch" + std::to_string(j + 1);
}

void DisplayRange::take(double v)
{
    if (!std::isfinite(v))
        return;
    if (v > max)
        max = v;
    if (v < min)
        min = std::max(v, -200.0);
}

void BarValues(AdcMode mode, const double* values, int count, std::vector<double>& bars, std::vector<double>& scatter)
{
    const auto at = [&](int i) { return i >= 0 && i < count ? values[i] : 0.0; };
    bars.assign(size_t(Layout(mode).bars), 0.0);
    scatter.assign(6, 0.0);
    switch (mode) {
    case AdcMode::All64:
        for (int i = 0; i < 64; ++i)
            bars[size_t(i)] = at(i);
        break;
    case AdcMode::Pmt32Foa6:
    case AdcMode::Ditto6:
        for (int i = 0; i < 32; ++i)
            bars[size_t(i)] = at(i);
        for (int i = 0; i < 6; ++i)
            scatter[size_t(i)] = at(32 + i);
        if (mode == AdcMode::Ditto6)
            for (int i = 0; i < 6; ++i)
                bars[size_t(32 + i)] = at(38 + i);
        break;
    case AdcMode::Asahi6:
        for (int i = 0; i < 6; ++i) {
            scatter[size_t(i)] = at(32 + i);
            bars[size_t(i)] = at(38 + i);
        }
        break;
    }
}

std::string TimeStampText(double seconds)
{
    if (!std::isfinite(seconds) || seconds == 0)
        return {};
    return number(seconds);
}

uint16_t HyperCytLogChannel(double v)
{
    if (!(v > 0))
        return 0;  // also NaN
    const double c = std::nearbyint(std::log10(v * 9999.0 / 2240.0 + 1) * 1023.0 / 4.0);
    return uint16_t(std::min(c, 1023.0));
}

uint16_t HyperCytWidthChannel(double v)
{
    if (!(v > 0))
        return 0;
    return uint16_t(std::min(std::nearbyint(1023.0 * v / 100.0), 1023.0));
}

int32_t HyperCytTime(double t, double t0, double r)
{
    if (!(r > 0))
        r = 0.1;
    const double c = std::nearbyint((t - t0) / r);
    if (!std::isfinite(c))
        return 0;
    return int32_t(std::clamp(c, -2147483648.0, 2147483647.0));
}

double TimeUnwrapper::operator()(double t)
{
    if (!std::isfinite(t) || !(span_ > 0))
        return t;
    // A step back by more than half the span is the counter passing 2^32.
    if (!first_ && t + offset_ < last_ - span_ / 2)
        offset_ += span_;
    first_ = false;
    last_ = t + offset_;
    return last_;
}

}  // namespace orvala
