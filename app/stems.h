// Stems for `tamborel render --stems DIR`: every HD recorder track of the studio records its
// stream to "DIR/<track name>.wav" while the song renders. Main thread, between buffers.
#pragma once

#include <filesystem>
#include <vector>

class CStudio;

// Points every HD recorder track at its file and starts them all at once (the recorder's master
// button). Raises "Can't Open File <%s>" when a file cannot be made. Returns the files.
std::vector<std::filesystem::path> StartStems(CStudio& studio, const std::filesystem::path& folder,
                                              bool floatSamples);
// Completes every file's header and closes it.
void StopStems();
