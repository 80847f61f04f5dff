#include "textio/textio.h"
#include "gnss/gnss.h"

namespace varno {

namespace {

constexpr int kStopBadSlot = 74358;

}  // namespace

void newprn(PrnTable& table) { table.count = 0; }

void numprn(const PrnTable& table, int& n) { n = table.count; }

bool getprn(const PrnTable& table, int prn, int& slot) {
    for (int i = 1; i <= table.count; ++i) {
        if (table.prn[i] == prn) {
            slot = i;
            return true;
        }
    }
    slot = table.count + 1;
    return false;
}

bool putprn(PrnTable& table, int prn, int& slot) {
    int found = 0;
    if (getprn(table, prn, found)) {
        slot = found;
        return false;
    }
    slot = 0;
    if (table.count >= kMaxPrn) return false;
    table.count += 1;
    table.prn[table.count] = prn;
    return true;
}

bool delprn(PrnTable& table, int prn, int& n) {
    int slot = 0;
    if (!getprn(table, prn, slot)) {
        n = table.count;
        return false;
    }
    for (int i = slot; i < table.count; ++i) table.prn[i] = table.prn[i + 1];
    table.count -= 1;
    n = table.count;
    return true;
}

int invprn(const PrnTable& table, int slot) {
    if (slot < 1 || slot > table.count) stopRun(kStopBadSlot);
    return table.prn[slot];
}

}  // namespace varno
