// `tamborel info PROJECT [--json]`: what a project holds, read without playing it: tempo, version,
// machines with their parameters, cables, patterns, the song and the project text.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class CApplication;

// Describes the application's open project as text lines or as one JSON object; the 8-bit
// texts of the project (names, parameter texts, the project text) are shown as UTF-8.
void DescribeProject(CApplication& application, bool json, std::ostream& out);

// The command: loads the project into a studio without sound and describes it on out.
int RunInfo(const std::vector<std::string>& args, std::ostream& out);
