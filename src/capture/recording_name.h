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

// A recording begins on a whole second, mostly inside a block: its comment tells how many
// frames lie before the first block boundary, so a replay cuts its blocks where the live
// run did ("block_offset=1234").
std::string BlockOffsetComment(int64_t frames);
// The offset in such a comment; false when the comment holds none.
bool ParseBlockOffsetComment(const std::string& comment, int64_t* frames);

}  // namespace corvane
