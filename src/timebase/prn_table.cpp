#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kStopBadSlot = 74358;

PrnTable table;

}  // namespace

const PrnTable& prnTable() { return table; }

void newprn() { table.count = 0; }

void numprn(int& n) { n = table.count; }

bool getprn(int prn, int& slot) {
    for (int i = 1; i <= table.count; ++i) {
        if (table.prn[i] == prn) {
            slot = i;
            return true;
        }
    }
    slot = table.count + 1;
    return false;
}

bool putprn(int prn, int& slot) {
    int found = 0;
    if (getprn(prn, found)) {
        slot = found;
        return false;
    }
    slot = 0;
    if (table.count >= kMaxPrn) return false;
    table.count += 1;
    table.prn[table.count] = prn;
    return true;
}

bool delprn(int prn, int& n) {
    int slot = 0;
    if (!getprn(prn, slot)) {
        n = table.count;
        return false;
    }
    for (int i = slot; i < table.count; ++i) table.prn[i] = table.prn[i + 1];
    table.count -= 1;
    n = table.count;
    return true;
}

int invprn(int slot) {
    if (slot < 1 || slot > table.count) stopRun(kStopBadSlot);
    return table.prn[slot];
}

}  // namespace varno
