// Day numbers of the proleptic Gregorian calendar, for the date rules of the
// settings files and the macros.
#pragma once
#include <cstdint>

namespace varnel {

// Days from 1 January 1970 (negative before it).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);

// The date of a day number of DaysFromCivil.
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace varnel
