// The project file (*.tbp): the whole studio in one file. Tempo, every machine (name, type,
// position, panel mode, state), every cable with its volume, every machine's patterns, the song
// and the project-information text. The writer writes version 2.1; the reader accepts 1.x to 3.x.
//
// CProject is the open project: the studio and sequencer it fills, the project-information text,
// the remembered path and whether the last load stopped part-way. Every operation runs on the
// user-interface thread; the studio and the sequencer take their own locks around each change, so
// a driver may keep rendering while a project loads.
//
// Saving never destroys the previous file: the bytes are built in memory first (a machine whose
// GetState fails leaves the disk untouched), written to a temporary file in the same folder,
// flushed to disk, and renamed over the old file, which is kept as "NAME.tbp.bak".
#pragma once

#include "persistence/safe_save.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class CSequencer;
class CStudio;
class CVeskHost;

// The version the writer puts into the header.
constexpr int8_t kProjectMajorVersion = 2;
constexpr int8_t kProjectMinorVersion = 1;
// The largest single item (state block, blob, text) a reader accepts.
constexpr uint32_t kMaxProjectItemSize = 64u << 20;
constexpr int32_t kMachineRecordSize = 2065;
// The tempo field's range in beats per minute; a file whose tempo lies outside is corrupt.
constexpr float kMinProjectTempo = 1.0f;
constexpr float kMaxProjectTempo = 1000.0f;

// What a load found in the header.
struct ProjectVersion {
    int8_t major = kProjectMajorVersion;
    int8_t minor = kProjectMinorVersion;
};

// The file's bytes for the studio as it stands. Numbers the machines (project indices) and their
// ports (port indices) in list order, as the file refers to them. Any error a machine raises
// from GetState passes through.
std::vector<uint8_t> WriteProjectBytes(CStudio& studio, CSequencer& sequencer, const std::string& info);

// Reads a whole file into the studio (which should be empty) and returns the project text. The
// path names the file in the error texts: "File '%s' Is Corrupt", "File '%s' Has Incompatible
// Version Number", "Machine of Name '%s' and UniqueID '%s' Could Not Be Loaded". Every length is
// checked against what remains before anything is made. A load that fails leaves the machines and
// cables made so far.
//
// A machine type is found by its identifier. Where several registered types share it (VST
// plug-ins whose short identifiers collide), the identity facts saved after the identifier's NUL
// pick the one the project was saved with; a file without them gets the type whose names are
// closest to the machine's instance name. Either choice that is not an exact match is told in
// notes ("Machine '%s': ...; chose %s").
std::string ReadProjectBytes(CStudio& studio, CSequencer& sequencer, const uint8_t* data, size_t size,
                             const std::string& path, ProjectVersion* version = nullptr,
                             std::vector<std::string>* notes = nullptr);

class CProject {
public:
    CProject(CStudio* studio, CSequencer* sequencer);

    // "New Project": clears the studio, forgets the path, adds "Master" at (32, 32), empties the text.
    void New();
    // "Open Project": clears the studio, remembers the path, loads. On an error the path stays
    // set, whatever was built stays, the project is marked incomplete and the error is raised.
    // Raises "Failed To Open File '%s' For Reading" when the file cannot be read.
    void Open(const std::filesystem::path& path);
    // "Save Project" to the remembered path; a save that reached the disk clears the change count. Refuses a
    // project that loaded incompletely (it would overwrite the file with part of it): "Project '%s' Was
    // Loaded Incompletely; Save It Under Another Name". Raises "No Project Path" without a path.
    void Save();
    // Save As: remembers the path and saves; clears the incomplete mark (a new file loses nothing).
    void SaveAs(const std::filesystem::path& path);

    // The file's bytes for the project as it stands (what Save would write).
    std::vector<uint8_t> Bytes() const;
    // Writes the project to another file through the same safe save (no backup is kept), without
    // remembering that path and without clearing the change count: the autosave's recovery file.
    void SaveCopy(const std::filesystem::path& path) const;
    // Loads a recovery file written by SaveCopy as the project of projectPath (empty: untitled):
    // the title names projectPath, and the project counts as changed, since it differs from that
    // file. Errors as Open's, naming the recovery file; on an error the project is as after a
    // failed Open, remembering projectPath.
    void Recover(const std::filesystem::path& recoveryFile, const std::filesystem::path& projectPath);

    // Everything that makes the open project, to put it back when an Open in its place fails.
    struct Snapshot {
        std::vector<uint8_t> bytes;
        std::filesystem::path path;
        ProjectVersion version;
        std::vector<std::string> notes;
        bool incomplete = false;
        bool changed = false;
    };
    // Raises what a machine's GetState raises.
    Snapshot TakeSnapshot() const;
    // Clears the studio and rebuilds the snapshot's project: machines, cables, patterns, song,
    // text, path, the incomplete mark, and whether it had changes (as a single edit).
    void Restore(const Snapshot& snapshot);

    const std::filesystem::path& Path() const { return m_path; }
    bool LoadedIncompletely() const { return m_incomplete; }
    // What the last Open chose on its own (an ambiguous machine type), for the user to read.
    const std::vector<std::string>& LoadNotes() const { return m_notes; }
    // The version of the file last opened (the writer's version for new projects).
    ProjectVersion FileVersion() const { return m_version; }
    // The "Project Info" page's text.
    const std::string& Info() const { return m_info; }
    // An edit of the project (raises the studio's change counter) when the text differs.
    void SetInfo(const std::string& text);
    // Edits since the project was made new, opened or last saved (a refused or failed save
    // clears nothing).
    bool HasChanges() const;
    uint64_t ChangeCount() const;
    // "Tamborel Studio - <file name>" or "Tamborel Studio".
    std::string WindowTitle() const;

private:
    // Reads a whole file ("Failed To Open File '%s' For Reading").
    static std::vector<uint8_t> ReadFile(const std::filesystem::path& path);
    // Clears the studio and the project's text, remembers the path, marks the project incomplete.
    void Begin(const std::filesystem::path& path);
    // Loads the bytes into the cleared studio; `shown` names them in the error texts. On an error
    // what was built stays, the project stays marked incomplete and the error is raised.
    void Load(const std::vector<uint8_t>& bytes, const std::string& shown);

    CStudio* m_studio;
    CSequencer* m_sequencer;
    std::filesystem::path m_path;
    std::string m_info;
    ProjectVersion m_version;
    std::vector<std::string> m_notes;
    bool m_incomplete = false;
};
