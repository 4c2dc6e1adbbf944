#include "app/info_command.h"

#include "app/application.h"
#include "platform/error.h"
#include "platform/text_encoding.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>

namespace {

using nlohmann::json;

std::string FrameName(const CStudio& studio, const CMachine* machine) {
    const CMachineContainer* frame = studio.FindFrame(machine);
    return frame ? frame->m_name : std::string();
}

json Machines(const CStudio& studio) {
    json machines = json::array();
    for (const CMachineContainer* frame : studio.Frames()) {
        CMachine* machine = frame->Machine();
        json parameters = json::array();
        for (int32_t p = 0; p < machine->m_parameterCount; ++p) {
            char name[64] = {};
            char display[64] = {};
            machine->GetParameterName(p, name);
            machine->GetParameterDisplay(p, display);
            parameters.push_back(
                {{"index", p}, {"name", name}, {"value", machine->GetParameter(p)}, {"display", display}});
        }
        json ports = json::array();
        for (int32_t p = 0; p < machine->m_portCount; ++p)
            ports.push_back({{"name", machine->m_ports[p]->m_name}, {"flags", machine->m_ports[p]->m_flags}});
        machines.push_back({{"name", frame->m_name},
                            {"type", frame->Info()->m_displayName},
                            {"id", frame->Info()->m_identifier},
                            {"x", frame->m_x},
                            {"y", frame->m_y},
                            {"panelMode", frame->m_panelMode},
                            {"ports", ports},
                            {"parameters", parameters}});
    }
    return machines;
}

json Cables(const CStudio& studio) {
    json cables = json::array();
    for (const CMachineContainer* frame : studio.Frames())
        for (int32_t c = 0; c < frame->ConnectorCount(); ++c)
            for (const CConnection* cable : frame->Connector(c)->m_connections)
                cables.push_back({{"from", cable->m_source->m_frame->m_name},
                                  {"fromPort", cable->m_source->m_port->m_name},
                                  {"to", frame->m_name},
                                  {"toPort", frame->Connector(c)->m_port->m_name},
                                  {"volume", cable->TargetVolume()}});
    return cables;
}

json Patterns(const CStudio& studio, CPatternEditor& editor) {
    json patterns = json::array();
    for (const Pattern* pattern : editor.Patterns()) {
        json notes = json::array();
        for (const PatternNote* note = pattern->FirstNote(); note; note = note->next)
            notes.push_back({{"start", note->start}, {"length", note->length}, {"note", note->note}});
        json tracks = json::array();
        CMachine* machine = pattern->Machine();
        for (int32_t t = 0; t < pattern->ControlTrackCount(); ++t) {
            const ControlTrack* track = pattern->GetControlTrack(t);
            char name[64] = "Velocity";
            if (track->parameter >= 0 && machine && track->parameter < machine->m_parameterCount)
                machine->GetParameterName(track->parameter, name);
            json steps = json::array();
            for (size_t s = 0; s < track->steps.size(); ++s)
                if (track->steps[s].set) steps.push_back({{"step", s}, {"value", track->steps[s].value}});
            tracks.push_back({{"parameter", track->parameter}, {"name", name}, {"steps", steps}});
        }
        patterns.push_back({{"name", pattern->Name()},
                            {"machine", FrameName(studio, machine)},
                            {"port", pattern->Port() ? pattern->Port()->m_name : ""},
                            {"lengthBeats", pattern->Length()},
                            {"notes", notes},
                            {"controlTracks", tracks}});
    }
    return patterns;
}

json Song(CSequenceEditor& editor, CVeskHost& host) {
    const Sequence& song = editor.Song();
    json rows = json::array();
    for (int32_t t = 0; t < song.TrackCount(); ++t) {
        json entries = json::array();
        for (const SequenceEntry* entry : song.GetTrack(t)->entries)
            entries.push_back({{"start", entry->start}, {"pattern", entry->pattern->Name()}});
        rows.push_back({{"row", editor.RowLabel(t)}, {"entries", entries}});
    }
    const int64_t samples = editor.SongSamples();
    return {{"lengthBeats", song.Length()},
            {"seconds", static_cast<double>(samples) / host.GetSampleRate()},
            {"entryCount", song.EntryCount()},
            {"rows", rows}};
}

// Names, parameter texts and the project text come from project files and machines as 8-bit
// texts; everything shown, JSON or not, is UTF-8.
void MakeUtf8(json& value) {
    if (value.is_string()) {
        value = platform::EightBitToUtf8(value.get_ref<const std::string&>());
    } else if (value.is_structured()) {
        for (auto& item : value)
            MakeUtf8(item);
    }
}

void PrintText(const json& project, std::ostream& out) {
    out << "Project " << project["file"].get<std::string>() << " (version "
        << project["version"].get<std::string>() << "), " << project["tempo"].get<double>() << " BPM\n";
    out << "Machines:\n";
    for (const auto& machine : project["machines"]) {
        out << "  " << machine["name"].get<std::string>() << "  [" << machine["type"].get<std::string>()
            << "] at (" << machine["x"] << ", " << machine["y"] << "), panel " << machine["panelMode"]
            << '\n';
        for (const auto& parameter : machine["parameters"])
            out << "    " << parameter["index"] << ' ' << parameter["name"].get<std::string>() << " = "
                << parameter["display"].get<std::string>() << " (" << parameter["value"].get<double>()
                << ")\n";
    }
    out << "Cables:\n";
    for (const auto& cable : project["cables"])
        out << "  " << cable["from"].get<std::string>() << '.' << cable["fromPort"].get<std::string>()
            << " -> " << cable["to"].get<std::string>() << '.' << cable["toPort"].get<std::string>()
            << "  volume " << cable["volume"].get<double>() << '\n';
    out << "Patterns:\n";
    for (const auto& pattern : project["patterns"]) {
        out << "  " << pattern["machine"].get<std::string>() << " / " << pattern["name"].get<std::string>()
            << ": " << pattern["lengthBeats"] << " beats, " << pattern["notes"].size() << " notes";
        for (const auto& track : pattern["controlTracks"])
            out << ", " << track["name"].get<std::string>() << " (" << track["steps"].size() << " steps)";
        out << '\n';
    }
    const auto& song = project["song"];
    out << "Song: " << song["lengthBeats"] << " beats (" << song["seconds"].get<double>() << " s), "
        << song["entryCount"] << " entries\n";
    for (const auto& row : song["rows"]) {
        out << "  " << row["row"].get<std::string>() << ':';
        for (const auto& entry : row["entries"])
            out << ' ' << entry["pattern"].get<std::string>() << '@' << entry["start"];
        out << '\n';
    }
    out << "Project text:\n" << project["info"].get<std::string>() << '\n';
}

} // namespace

void DescribeProject(CApplication& application, bool json, std::ostream& out) {
    CProject& project = application.Project();
    CStudio& studio = *application.Studio();
    const ProjectVersion version = project.FileVersion();
    nlohmann::json description = {
        {"file", project.Path().string()},
        {"version", platform::FormatText("%d.%d", version.major, version.minor)},
        {"tempo", application.Host()->GetBPM()},
        {"machines", Machines(studio)},
        {"cables", Cables(studio)},
        {"patterns", Patterns(studio, application.Sequencer()->Patterns())},
        {"song", Song(application.Sequencer()->Song(), *application.Host())},
        {"info", project.Info()},
    };
    MakeUtf8(description);
    if (json)
        out << description.dump(2) << '\n';
    else
        PrintText(description, out);
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out) {
    bool json = false;
    std::string path;
    for (const auto& arg : args) {
        if (arg == "--json")
            json = true;
        else if (!arg.empty() && arg[0] == '-')
            platform::Raise("Unknown option '%s'", arg.c_str());
        else if (path.empty())
            path = arg;
        else
            platform::Raise("Unexpected argument '%s'", arg.c_str());
    }
    if (path.empty()) platform::Raise("No project given: tamborel info PROJECT [--json]");
    CApplication::Settings settings;
    settings.newProject = false;
    try {
        const std::unique_ptr<CApplication> application = OpenWithMachines(settings, path);
        DescribeProject(*application, json, out);
    } catch (const std::exception& error) {
        // A load error may quote a machine's name.
        throw platform::CError(platform::EightBitToUtf8(error.what()));
    }
    return 0;
}
