// Rules of the temporary folder and its free-space question that need no
// system: folder names, the drive choice from measured figures, the
// megabyte text and the wording of the question.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace varnel {

// "SETUP_" + the time-of-day half of the stub file's packed DOS time stamp.
std::string SetupFolderName(std::uint16_t dosTime);

// Name of the n-th folder tried when the plain setup folder is in use by
// another running setup: n = 0 gives the plain name, n >= 1 a fresh name
// beside it ("SETUP_35549_1", ...).
std::string SetupFolderCandidate(const std::string& base, int n);

// Megabyte text: one decimal above 10, two from 1, three below
// (38.0, 2.50, 0.125); negative counts as 0.
std::string FormatMegabytes(double bytes);

// The drive with the most free space among C, D and E (ties keep the
// earlier letter; a drive that could not be written has 0). Returns the
// chosen letter, or 0 when that is the current temporary drive or none has
// any space.
char ChooseTempDriveLetter(char currentDrive, const std::array<double, 3>& freeCDE);

// The free-space question, or "" when none is to be asked: shown with the
// notice flag or when Needed >= Free. `lang` gives a language string by key
// (with its built-in default).
std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool showNotice,
                              const std::function<std::string(const char* key)>& lang);

}  // namespace varnel
