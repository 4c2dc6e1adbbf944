// The options file: any content leaves a usable set of options (defaults kept where the file
// says nothing sensible) that writes and reads back unchanged.
#include "persistence/options_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratch(data, size, ".opt");
    Options options = DefaultOptions();
    ReadOptions(options, path);
    for (const std::string& folder : options.vstFolders)
        fuzz::Check(folder.find('\0') == std::string::npos, "a folder name holds no NUL");
    fuzz::Check(WriteOptions(options, path), "the options write");
    Options again = DefaultOptions();
    again.vstFolders.clear();
    ReadOptions(again, path);
    fuzz::Check(again.vstFolders == options.vstFolders && again.driverIndex == options.driverIndex &&
                    again.waveOutLatency == options.waveOutLatency &&
                    again.waveOutFormat == options.waveOutFormat,
                "options survive a round trip");
    return 0;
}
