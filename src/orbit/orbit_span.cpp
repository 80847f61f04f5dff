// The span of the orbit file(s) from their first two lines, the join of several files, and the plain words for
// an orbit that does not reach the data.
#include <cmath>
#include <cstdio>
#include <string>

#include "orbit/orbit.h"
#include "orbit/sp3_header.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr double kGridTolerance = 1e-03;      // s, a file this close to the first file's grid is on it
constexpr double kIntervalTolerance = 1e-06;  // s, intervals this close are the same
constexpr double kSecondsPerDay = 86400.0;

struct FirstLines {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    int epochs = 0;
    std::string source;
    double interval = 0.0;
    long line1 = 0;  // line number of line 1, for messages
};

double finiteField(const Record& line, int first, int last, const char* what) {
    const double value = line.realField(first, last, 8, what);
    if (!std::isfinite(value)) {
        line.fail("expected a finite number " + std::string(what) + " in columns " + std::to_string(first) + "-" +
                  std::to_string(last) + ", found \"" + std::string(line.columns(first, last)) + "\"");
    }
    return value;
}

void readFirstLines(TextFile& orbit, FirstLines& header) {
    Record line;
    orbit.require(line, sp3::kFirstLineWidth, "orbit header line 1");
    header.line1 = line.lineNumber();
    sp3::version(line);
    header.year = line.intField(4, 7, "year");
    header.month = line.intField(8, 10, "month");
    header.day = line.intField(11, 13, "day");
    header.hour = line.intField(14, 16, "hour");
    header.minute = line.intField(17, 19, "minute");
    header.second = finiteField(line, 20, 31, "second");
    header.epochs = line.intField(32, 39, "number of epochs");
    header.source = std::string(line.columns(47, 60));
    orbit.require(line, sp3::kRecordWidth, "orbit header line 2");
    header.interval = finiteField(line, 24, 38, "epoch interval");
    // Every later step divides by the interval and walks the orbit grid forward.
    if (!(header.interval > 0.0)) {
        line.fail("expected a positive epoch interval in columns 24-38, found \"" +
                  std::string(line.columns(24, 38)) + "\"");
    }
}

// "2010-03-18 23:45:00", to the hundredth of a second when the time is not whole; times before the
// reference day too.
std::string civilText(int jd0, double t) {
    if (!(std::fabs(t) < kSecondsPerDay * 1e6)) return freeNumber(t) + " s";
    const double hundredths = std::round(t * 100.0);
    const double days = std::floor(hundredths / (kSecondsPerDay * 100.0));
    const long long inDay = static_cast<long long>(hundredths - days * kSecondsPerDay * 100.0);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    mjdciv(jd0 + static_cast<int>(days), 0.0, year, month, day, hour, minute, second);
    char text[48];
    const int h = static_cast<int>(inDay / 360000), m = static_cast<int>(inDay / 6000 % 60);
    const int s = static_cast<int>(inDay / 100 % 60), cs = static_cast<int>(inDay % 100);
    if (cs == 0) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%02d", year, month, day, h, m, s, cs);
    }
    return text;
}

std::string dayText(int jd0, double t) { return civilText(jd0, t).substr(0, 10); }

[[noreturn]] void refuseJoin(const TextFile& later, long line, const TextFile& earlier, const std::string& why) {
    throw InputError(later.name() + ":" + std::to_string(line) + ": cannot join this orbit file to " +
                     earlier.name() + ": " + why);
}

}  // namespace

OrbitSpan orbspn(const std::vector<TextFile*>& files) {
    OrbitSpan span;
    FirstLines first;
    readFirstLines(*files.front(), first);
    writeListing(freeLine("orbit ref sys/source -- ", first.source));
    span.jd0 = setjd0(first.year, first.month, first.day);
    const int jd0 = span.jd0;
    span.start = civjts(jd0, first.year, first.month, first.day, first.hour, first.minute, first.second);
    span.interval = first.interval;
    span.end = span.start + (static_cast<double>(first.epochs) - 1.0) * span.interval;
    span.epochs = first.epochs;
    span.source = first.source;

    double previousStart = span.start;
    for (std::size_t i = 1; i < files.size(); ++i) {
        FirstLines next;
        readFirstLines(*files[i], next);
        const TextFile& earlier = *files[i - 1];
        const double start = civjts(jd0, next.year, next.month, next.day, next.hour, next.minute, next.second);
        if (std::fabs(next.interval - span.interval) > kIntervalTolerance) {
            refuseJoin(*files[i], next.line1 + 1, earlier,
                       "its interval " + freeNumber(next.interval) + " s differs from " + freeNumber(span.interval) +
                           " s");
        }
        if (start < previousStart) {
            refuseJoin(*files[i], next.line1, earlier,
                       "it starts " + civilText(jd0, start) + ", before that file (" + civilText(jd0, previousStart) +
                           "); give the orbit files in time order");
        }
        const double steps = (start - span.start) / span.interval;
        if (std::fabs(steps - std::round(steps)) * span.interval > kGridTolerance) {
            refuseJoin(*files[i], next.line1, earlier,
                       "its first epoch " + civilText(jd0, start) + " is not on the same epoch grid");
        }
        if (start > span.end + span.interval + kGridTolerance) {
            refuseJoin(*files[i], next.line1, earlier,
                       "gap between " + civilText(jd0, span.end) + " and " + civilText(jd0, start));
        }
        span.end = std::max(span.end, start + (static_cast<double>(next.epochs) - 1.0) * span.interval);
        previousStart = start;
    }
    if (files.size() > 1) span.epochs = static_cast<int>(std::round((span.end - span.start) / span.interval)) + 1;
    writeListing("orbit strt/stop,delt,neph " + fmtF(span.start, 10, 2) + fmtF(span.end, 10, 2) +
                 fmtF(span.interval, 7, 2) + fmtI(span.epochs, 6));
    return span;
}

std::string orbgap(int jd0, double orbitStart, double orbitEnd, double needStart, double needEnd) {
    const bool early = needStart < orbitStart;
    const bool late = needEnd > orbitEnd;
    if (!early && !late) return "";
    // Daily files: the missing one is the day of the time needed, or the neighbouring day when that time still
    // falls on the orbit's own first or last day.
    const std::string before = dayText(jd0, needStart) != dayText(jd0, orbitStart)
                                   ? dayText(jd0, needStart)
                                   : dayText(jd0, orbitStart - kSecondsPerDay);
    const std::string after = dayText(jd0, needEnd) != dayText(jd0, orbitEnd) ? dayText(jd0, needEnd)
                                                                              : dayText(jd0, orbitEnd + kSecondsPerDay);
    const std::string need = needStart == needEnd ? "a satellite position at " + civilText(jd0, needStart)
                                                  : civilText(jd0, needStart) + " to " + civilText(jd0, needEnd);
    std::string text = "the orbit covers " + civilText(jd0, orbitStart) + " to " + civilText(jd0, orbitEnd) +
                       " but the data need " + need + ": the orbit file of ";
    if (early) text += "the day before (" + before + ")";
    if (early && late) text += " and that of ";
    if (late) text += "the day after (" + after + ")";
    return text + (early && late ? " are" : " is") + " missing; give every orbit file with --orbit, in time order";
}

}  // namespace varno
