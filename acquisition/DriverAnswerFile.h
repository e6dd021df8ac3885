#pragma once
// The driver's response file, named by "#FILEPARAM" on the caller-parameter channel.
#include <string>

namespace zor::acquisition {

class IWorkflow;

/// Reads the first line of the response file at `path` (UTF-8), parses it and hands it to the
/// workflow's driver-answer processing when its "#CALLER" is 3. False when the file cannot be
/// read or is not a regular file (a FIFO is not waited on), its first line is longer than
/// 64 KiB, or it is not the driver's.
bool ProcessDriverResponseFile(const std::string& path, IWorkflow& workflow);

}  // namespace zor::acquisition
