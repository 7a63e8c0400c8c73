#pragma once
// Recordings are named by the UTC time of their first frame: "corvane-20261208T180000Z.flac".

#include <cstdint>
#include <string>

namespace corvane {

// "corvane-20261208T180000Z.flac" for 2026-12-08 18:00:00 UTC.
std::string RecordingFileName(int64_t utcSeconds);
// The UTC start in a recording's file name ("corvane-YYYYMMDDTHHMMSSZ" and any extension,
// with or without a directory); false for any other name.
bool ParseRecordingFileName(const std::string& path, int64_t* utcSeconds);
// "2026-12-08T18:00:00Z".
std::string IsoUtcText(int64_t utcSeconds);

}  // namespace corvane
