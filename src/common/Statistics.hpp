// Size statistics as the program prints them.
#pragma once

// part / whole * 100, and 0 when there is nothing to compare with.
inline double percentOf(double part, double whole) {
    return whole == 0 ? 0.0 : part / whole * 100;
}
