#pragma once
// The settings file: eleven position-defined lines, no keys, no comments.
//
//   1 sampling rate (Hz)        5 FMin (Hz)               9 log interval (s)
//   2 FFT length                6 FMax (Hz)              10 log file name (text)
//   3 centre (bins)             7 stability limit (dB)   11 history length (frames)
//   4 signal bandwidth (bins)   8 detection period (frames)
//
// Numbers are written as their sign-spaced text and one blank (12000 -> " 12000 "), the file
// name as held; every line ends in CR LF. Which control each line sets is the window's job;
// this file deals in lines of text.

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr const char* kSettingsFileName = "CORVANE.INI";
inline constexpr int kSettingsLineCount = 11;
// Bytes kept of one line when reading; the rest of an overlong line is skipped.
inline constexpr size_t kSettingsMaxLineLength = 4096;

struct SettingsValues {
  double sampleRate = 0;
  double fftLen = 0;
  double centreBin = 0;
  double sigBWBins = 0;
  double fMin = 0;
  double fMax = 0;
  double stabLimitDb = 0;
  double detFrames = 0;
  double logIntervalSecs = 0;
  std::string logFileName;
  double histLen = 0;
};

// The file's whole text. CR, LF and NUL are left out of the file name (they would split or
// cut its line); a non-finite number is written as 0.
std::string SettingsFileText(const SettingsValues& values);

// Writes the file to a new file beside path, syncs it and renames it over path, so the old
// file stays whole until the new one is complete. Where path is a symbolic link, the file it
// points to is the one replaced (beside itself), keeping its owner and mode, and the link
// stays. On failure returns false with a reason in *error (if given) and leaves any previous
// file untouched.
bool WriteSettingsFile(const std::string& path, const SettingsValues& values, std::string* error);

// Removes the temporary files that a write of path left behind when the program was killed
// in the middle of it ("<path>.new<pid>_<n>" of a process that no longer runs). Returns how
// many were removed.
int RemoveSettingsLeftovers(const std::string& path);

// Whether path names a file that exists but cannot be read (permissions): such a file must
// not be overwritten at the program end with values it never gave.
bool SettingsFileUnreadable(const std::string& path);

// Reads up to eleven lines of path into *lines (cleared first) and returns how many were
// read: 0 when the file is missing or unreadable, fewer than eleven when it ends early.
// CR LF, a lone LF and a lone CR each end a line; a last line without a line end counts.
// Bytes are kept as they are (8-bit text) except NUL, which is dropped; a line is cut at
// kSettingsMaxLineLength bytes and the rest of it skipped.
int ReadSettingsLines(const std::string& path, std::vector<std::string>* lines);

// The same split applied to text in memory.
int SplitSettingsLines(std::string_view text, std::vector<std::string>* lines);

// The number a numeric line holds: ParseLeadingNumber, so blanks never matter and text that
// is not a number reads as 0.
double SettingsNumber(std::string_view line);

}  // namespace corvane
