#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "results/results.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno {
namespace {

// Well-formedness of the XML subset an SVG document uses: declaration, elements, quoted attributes, text and the
// predefined entities. Returns an empty string or what is wrong.
std::string xmlProblem(const std::string& doc) {
    std::vector<std::string> open;
    std::size_t i = 0;
    bool root = false;
    const auto nameAt = [&](std::size_t& k) {
        const std::size_t from = k;
        while (k < doc.size() && (std::isalnum(static_cast<unsigned char>(doc[k])) || doc[k] == '-' ||
                                  doc[k] == ':' || doc[k] == '_' || doc[k] == '.')) ++k;
        return doc.substr(from, k - from);
    };
    if (doc.rfind("<?xml ", 0) == 0) i = doc.find("?>") + 2;
    while (i < doc.size()) {
        if (doc[i] == '&') {
            const std::size_t end = doc.find(';', i);
            const std::string entity = end == std::string::npos ? "" : doc.substr(i, end - i + 1);
            if (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;") return "entity at " + std::to_string(i);
            i = end + 1;
        } else if (doc[i] != '<') {
            if (open.empty() && !std::isspace(static_cast<unsigned char>(doc[i]))) return "text outside the root";
            ++i;
        } else if (doc[i + 1] == '/') {
            std::size_t k = i + 2;
            const std::string name = nameAt(k);
            if (open.empty() || open.back() != name || doc[k] != '>') return "unbalanced </" + name + ">";
            open.pop_back();
            i = k + 1;
        } else {
            std::size_t k = i + 1;
            const std::string name = nameAt(k);
            if (name.empty()) return "bad tag at " + std::to_string(i);
            if (open.empty() && root) return "second root";
            root = true;
            while (true) {
                while (std::isspace(static_cast<unsigned char>(doc[k]))) ++k;
                if (doc[k] == '>' || (doc[k] == '/' && doc[k + 1] == '>')) break;
                if (nameAt(k).empty() || doc[k] != '=' || doc[k + 1] != '"') return "bad attribute in <" + name + ">";
                const std::size_t close = doc.find('"', k + 2);
                if (close == std::string::npos || doc.substr(k + 2, close - k - 2).find_first_of("<&") != std::string::npos) {
                    return "bad attribute value in <" + name + ">";
                }
                k = close + 1;
            }
            if (doc[k] == '/') {
                i = k + 2;
            } else {
                open.push_back(name);
                i = k + 1;
            }
        }
    }
    return open.empty() && root ? "" : "unclosed elements";
}

TEST(ResidualPlot, WellFormedAndOfBoundedSizeForADayAtOneSecond) {
    testRun.jd0 = setjd0(2024, 3, 1);
    ResidualPlot plot(testRun.jd0, 0.0, 86399.0);
    // 660,000 residuals of 8 of 30 satellites at a time, a few of them trimmed outliers.
    int count = 0;
    for (int t = 0; t < 86400 && count < 660000; ++t) {
        for (int k = 0; k < 8; ++k) {
            const int prn = 1 + (t / 3600 + k * 4) % 30;
            const double v = 0.7 * std::sin(t * 0.37 + prn);
            const bool outlier = (t + prn) % 5003 == 0;
            plot.add({double(t), prn, 31, SatId::gps(prn), SatId::gps(31), 10.0 + 70.0 * std::fabs(std::sin(t * 1e-4 + prn)),
                      outlier ? 60.0 : v, !outlier, 1.0});
            ++count;
        }
    }
    const std::string svg = plot.svg("residuals, A&B <\"x\">");
    EXPECT_EQ(xmlProblem(svg), "");
    EXPECT_LT(svg.size(), 1500000u);
    EXPECT_NE(svg.find("residuals, A&amp;B &lt;&quot;x&quot;&gt;"), std::string::npos);
    EXPECT_NE(svg.find(">PRN 30<"), std::string::npos);
    EXPECT_NE(svg.find("l5 5m0 -5l-5 5"), std::string::npos);  // the trimmed are marked
    EXPECT_NE(svg.find(">12:00<"), std::string::npos);          // calendar ticks
    EXPECT_NE(svg.find(">2024-03-01<"), std::string::npos);
    testRun.jd0 = 0;
}

TEST(ResidualPlot, EmptyPlotIsStillADocument) {
    EXPECT_EQ(xmlProblem(ResidualPlot(testRun.jd0, 100.0, 100.0).svg("none")), "");
}

}  // namespace
}  // namespace varno
