// Day numbers of the proleptic Gregorian calendar, for the date rules of the
// settings files and the macros.
#pragma once
#include <cstdint>

namespace varnel {

// Days from 1 January 1970 (negative before it).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);

// The date of a day number of DaysFromCivil.
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

// value / divisor rounded toward minus infinity, for any value. Computed by
// unsigned division: signed 64-bit division would link three more runtime
// helpers into the 32-bit stub.
std::int64_t FloorDivide(std::int64_t value, std::uint32_t divisor);

}  // namespace varnel
