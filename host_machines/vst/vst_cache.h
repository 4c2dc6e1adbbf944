// The plug-in cache: what the folder scan learned about every VST library it tried, so later
// starts register the plug-ins without loading a single library. One file beside the options file
// ("VSTCache.txt" in the user's config folder), read and written on the user-interface thread at
// start-up only.
//
// An entry is keyed by the library's real path, size and modification time: a library that
// changed is tried again. Libraries that crashed or hung in their trial, and libraries without a
// VST entry (support libraries in a plug-in folder), are kept too, so they are not tried again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

// What one trial of a library found.
struct VSTLibraryFacts {
    enum class Kind : int32_t {
        Plugin = 0,   // a usable plug-in: the fields below hold what it told
        NoLoad = 1,   // the library does not load (missing dependency, not a shared library)
        NoEntry = 2,  // neither VSTPluginMain nor main: not a plug-in
        NoEffect = 3, // the entry returned nothing usable
        Crashed = 4,  // died while coming up
        Hung = 5,     // did not come up in time
    };
    Kind kind = Kind::Plugin;
    std::string reason;     // Crashed and Hung: what happened, for the user
    std::string effectName; // effGetEffectName (empty when the plug-in has none)
    std::string vendor;     // effGetVendorString
    std::string product;    // effGetProductString
    int32_t category = 0;   // effGetPlugCategory: 1 effect, 2 instrument, 3 analysis, ...
    int32_t uniqueId = 0;
    int32_t inputs = 0;
    int32_t outputs = 0;
    int32_t parameters = 0;
    int32_t programs = 0;
    int32_t flags = 0; // the AEffect flags
    int32_t vendorVersion = 0;
    bool takesMidi = false; // answered "receiveVstMIDIEvent" or is an instrument
    bool pluginMain = true; // the entry was found as VSTPluginMain (else as main)

    // The plug-in's own name: the effect name, else the product string; empty when it told none.
    std::string ShownName() const { return !effectName.empty() ? effectName : product; }
    bool operator==(const VSTLibraryFacts&) const = default;
};

// The text the machine listing shows for a category number ("effect", "instrument", ...).
const char* VSTCategoryName(int32_t category);

// Size and modification time (nanoseconds) of a file; zeros when it cannot be read.
struct VSTFileStamp {
    uintmax_t size = 0;
    int64_t modified = 0;
    bool operator==(const VSTFileStamp&) const = default;
};
VSTFileStamp StampOfFile(const std::filesystem::path& path);

// One line of the cache file for the facts (without stamp and path), and its reverse. Also the
// form a trial's child process reports its findings in. False when the line is not one of ours.
std::string FactsToLine(const VSTLibraryFacts& facts);
bool FactsFromLine(const std::string& line, VSTLibraryFacts& facts);

class CVSTCache {
public:
    // A missing or unreadable file gives an empty cache (everything is tried again); lines that
    // do not parse are dropped.
    void Load(const std::filesystem::path& file);
    // Through a temporary file and a rename, so a crash never leaves half a cache. False when
    // it could not be written (the scan goes on; the next start tries again).
    bool Save(const std::filesystem::path& file) const;

    // The facts for a library whose real path and stamp are unchanged, or null.
    const VSTLibraryFacts* Find(const std::string& realPath, const VSTFileStamp& stamp) const;
    void Put(const std::string& realPath, const VSTFileStamp& stamp, const VSTLibraryFacts& facts);
    // Drops entries of libraries that no longer exist. True when any was dropped.
    bool ForgetMissing();
    size_t Size() const { return m_entries.size(); }

private:
    struct Entry {
        VSTFileStamp stamp;
        VSTLibraryFacts facts;
    };
    std::map<std::string, Entry> m_entries;
};
