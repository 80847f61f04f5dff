// SP3 text in every version for the orbit tests: the same orbit written with numeric or lettered ids.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "orbit/orbit.h"
#include "orbit/orbit_table.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno::test {

// Loads the table for the satellites of the PrnTable, then keeps in the PrnTable the satellites the table carries,
// as a run does; `satCount` comes back as their count.
inline void loadForPrnTable(const std::vector<TextFile*>& files, OrbitTable& table, int& satCount, int epochs,
                            double start, double stop) {
    std::vector<SatId> columns;
    for (int slot = 1; slot <= testSats.size(); ++slot) columns.push_back(invprn(testSats, slot));
    lodorb(files, testRun.jd0, table, columns, false, epochs, start, stop);
    newprn(testSats);
    for (const SatId& sat : columns) {
        int slot = 0;
        putprn(testSats, sat, slot);
    }
    numprn(testSats, satCount);
}
inline void loadForPrnTable(TextFile& file, OrbitTable& table, int& satCount, int epochs, double start,
                            double stop) {
    loadForPrnTable(std::vector<TextFile*>{&file}, table, satCount, epochs, start, stop);
}

struct Sp3Spec {
    char version = 'a';
    std::vector<std::string> ids;  // as written in the header, e.g. "  3", "G03", "R05"
    int firstEpoch = 0;            // index of the first epoch written (900 s apart from 2005-04-01 00:00)
    int epochs = 12;
    std::string timeSystem = "GPS";
};

// Value of satellite `id` (its number) at epoch k on axis 1-3 (km), or its clock (axis 4, microseconds).
inline double sp3Value(int number, int k, int axis) {
    return axis == 4 ? 0.5 * k + number : 1000.0 * number + 10.0 * k + axis + 0.123456;
}

inline std::string sp3Text(const Sp3Spec& layout) {
    char buf[128];
    const int start = layout.firstEpoch * 900;
    std::snprintf(buf, sizeof buf, "#%cP2005  4  1 %2d %2d  0.00000000%8d ORBIT WGS84 FIT TEST\n", layout.version,
                  start / 3600, start / 60 % 60, layout.epochs);
    std::string text = buf;
    text += "## 1316 432000.00000000   900.00000000 53461 0.0000000000000\n";
    const std::size_t n = layout.ids.size();
    const std::size_t lines = layout.version == 'd' ? std::max<std::size_t>(5, (n + 16) / 17) : 5;
    for (std::size_t line = 0; line < lines; ++line) {
        std::snprintf(buf, sizeof buf, line == 0 ? "+  %3zu   " : "+        ", n);
        text += buf;
        for (std::size_t i = 17 * line; i < 17 * line + 17; ++i) text += i < n ? layout.ids[i] : "  0";
        text += "\n";
    }
    for (std::size_t line = 0; line < lines; ++line) {
        text += "++         2  2  2  2  2  2  2  2  2  2  2  2  2  2  2  2  2\n";
    }
    text += "%c G  cc " + layout.timeSystem + " ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc\n";
    text += "%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc\n";
    text += "%f  1.2500000  1.025000000  0.00000000000  0.000000000000000\n";
    text += "%f  0.0000000  0.000000000  0.00000000000  0.000000000000000\n";
    text += "%i    0    0    0    0      0      0      0      0         0\n";
    text += "%i    0    0    0    0      0      0      0      0         0\n";
    const int comments = layout.version == 'd' ? 6 : 4;
    for (int i = 0; i < comments; ++i) text += "/* comment\n";
    for (int k = layout.firstEpoch; k < layout.firstEpoch + layout.epochs; ++k) {
        std::snprintf(buf, sizeof buf, "*  2005  4 %2d %2d %2d  0.00000000\n", 1 + k / 96, k % 96 / 4, k % 4 * 15);
        text += buf;
        for (const std::string& id : layout.ids) {
            const int number = std::stoi(id.substr(1));
            std::snprintf(buf, sizeof buf, "P%s%14.6f%14.6f%14.6f%14.6f\n", id.c_str(), sp3Value(number, k, 1),
                          sp3Value(number, k, 2), -sp3Value(number, k, 3), sp3Value(number, k, 4));
            text += buf;
            if (layout.version == 'd') text += "EP  12 34 56\n";
        }
    }
    return text + "EOF\n";
}

// Loads files written to `dir` (named orbit1.sp3, ...) with jd0 2005-04-01 for the window [start, stop].
inline OrbitTable sp3Load(const TempDir& dir, const std::vector<std::string>& texts, int epochs, double start,
                          double stop, int& satCount) {
    std::vector<std::unique_ptr<TextFile>> files;
    std::vector<TextFile*> pointers;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        files.push_back(std::make_unique<TextFile>(dir.write("orbit" + std::to_string(i + 1) + ".sp3", texts[i])));
        pointers.push_back(files.back().get());
    }
    testRun.jd0 = setjd0(2005, 4, 1);
    numprn(testSats, satCount);
    OrbitTable table;
    loadForPrnTable(pointers, table, satCount, epochs, start, stop);
    return table;
}

inline void sp3SetPrns(const std::vector<int>& prns) {
    newprn(testSats);
    for (int prn : prns) {
        int slot = 0;
        putprn(testSats, SatId::gps(prn), slot);
    }
}

}  // namespace varno::test
