// Run control: the files of one run and the order of its stages.
#pragma once

#include <string>

namespace varno {

// The fixed file names of a run, all in the current directory.
struct RunFiles {
    static constexpr const char* listing = "varno.lst";
    static constexpr const char* position = "pos";
    static constexpr const char* point1 = "point1.rnx";
    static constexpr const char* point2 = "point2.rnx";
    static constexpr const char* orbit = "orbit.sp3";
    static constexpr const char* offsets = "off";
    static constexpr const char* residuals = "varno.res";
};

// Runs the whole program in the current directory and returns the process exit status: 0 after
// "End of Processing", the stop code's low 8 bits after a stop ("STOP <code>" on the console), 2 after an input
// error (one line "varno: ..." on standard error), 1 when the listing cannot be created.
int runVarno();

}  // namespace varno
