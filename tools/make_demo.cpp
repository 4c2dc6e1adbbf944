// make_demo: builds the demo song (examples/demo.tbp) from the studio's own machines, patterns and
// song, and saves it as a project.
//   build/bin/make_demo [OUT.tbp] [--plugins DIR]
// (default: examples/demo.tbp under the current folder; machine libraries from PlugIns next to
// the program unless DIR is given)
//
// "Night Drive": A minor, i-VI-III-VII (Am F C G), 120 beats per minute counted in sixteenths
// (a step is a sixteenth note, so the host tempo is 32: a step lasts 4/32 s). 49 bars:
//   intro (bars 0-7)   hats, then the kick; the bass opens its filter
//   build (8-15)       hi-hats open up, claps, the arpeggio rises, a drum fill
//   main (16-31)       full groove with two bass figures, crashes every eight bars
//   break (32-35)      no kick: ride, long resonant bass notes, the arpeggio in the echoes
//   main (36-43)       the groove again
//   outro (44-48)      the filter closes, a last crash rings into the reverb
// Signal flow: Bass, Kick, Arp and the drum kit (through the HD recorder track "Drums") into the
// mixer's tracks 1-4; AUX 1 feeds the QuadDelay, AUX 2 the SpatialVerb; the mixer's output passes
// the AntiAlias filter into the master.
#include "app/application.h"
#include "platform/error.h"

#include <cmath>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int32_t kBar = 16;     // steps
constexpr int32_t kBarBeats = 4; // beats
constexpr float kTempo = 32.0f;  // a sixteenth lasts 4/32 s: 120 beats per minute
constexpr int32_t kSongBars = 49;

// Chord roots of the progression (A1, F1, C2, G1) and the third above each root.
constexpr int32_t kRoots[4] = {33, 29, 36, 31};
constexpr int32_t kThirds[4] = {3, 4, 4, 4};

// Drum rows of the drum kit.
enum Drum : int32_t { kBD, kSD, kLT, kMT, kHT, kRS, kCP, kCH, kOH, kCC, kRC };

class CDemo {
public:
    explicit CDemo(CApplication& application)
        : m_app(application), m_studio(*application.Studio()),
          m_patterns(application.Sequencer()->Patterns()), m_song(application.Sequencer()->Song()) {}

    CMachineContainer* Add(const char* identifier, const char* name, int32_t x, int32_t y) {
        CMachineInfo* info = m_app.Registry()->FindByIdentifier(identifier);
        if (!info) platform::Raise("Machine type '%s' is not installed (is QX Stockrack built?)", identifier);
        return m_studio.CreateFrame(info->CreateMachine(), info, name, x, y);
    }
    static void Set(CMachineContainer* frame, std::initializer_list<std::pair<int32_t, float>> values) {
        for (const auto& [index, value] : values)
            frame->Machine()->SetParameter(index, value);
    }
    void Cable(CMachineContainer* from, const char* out, CMachineContainer* to, const char* in,
               float volume = 1.0f) {
        if (!m_studio.Connect(from->FindConnector(out), to->FindConnector(in), volume))
            platform::Raise("Cannot connect %s.%s to %s.%s", from->m_name.c_str(), out, to->m_name.c_str(),
                            in);
    }
    Pattern* NewPattern(CMachineContainer* frame, int32_t beats, const char* name) {
        Pattern* pattern = m_patterns.CreatePattern(frame->FindConnector("Control In")->m_port, beats, name);
        if (!pattern) platform::Raise("Cannot make pattern %s", name);
        return pattern;
    }
    void Place(Pattern* pattern, int32_t bar) {
        if (!m_song.PlacePattern(pattern, bar * kBarBeats))
            platform::Raise("Pattern %s does not fit at bar %d", pattern->Name(), bar);
    }
    // A control track moving linearly (or along any curve) from one value to another over steps.
    static void Sweep(Pattern* pattern, int32_t parameter, int32_t from, int32_t to, int32_t every,
                      const std::function<float(float)>& curve) {
        int32_t track = pattern->FindControlTrack(parameter);
        if (track < 0) track = pattern->AddControlTrack(parameter);
        for (int32_t step = from; step < to; step += every)
            pattern->SetControlStep(track, step,
                                    curve(static_cast<float>(step - from) / static_cast<float>(to - from)));
    }
    static std::function<float(float)> Line(float a, float b) {
        return [a, b](float t) { return a + (b - a) * t; };
    }

    CApplication& m_app;
    CStudio& m_studio;
    CPatternEditor& m_patterns;
    CSequenceEditor& m_song;
};

// Parameter indices.
namespace bass {
constexpr int32_t kAmpAttack = 0, kAmpDecay = 1, kAmpSustain = 2, kAmpRelease = 3;
constexpr int32_t kFilterAttack = 7, kFilterDecay = 8, kFilterSustain = 9, kFilterRelease = 10;
constexpr int32_t kVco1Shape = 14, kVco2Shape = 18, kVco2Semitone = 20, kVco2Detune = 21;
constexpr int32_t kVcf1Cutoff = 25, kVcf1Resonance = 26, kVcf1KeyFollow = 27, kVcf1EnvMod = 28;
constexpr int32_t kVcf2Cutoff = 30, kVcf2Resonance = 31, kVcf2KeyFollow = 32, kVcf2EnvMod = 33;
constexpr int32_t kOscBalance = 37, kOscVolume = 38, kSaturation = 40, kOverdrive = 41, kPortamento = 43;
} // namespace bass
namespace drums {
constexpr int32_t kBDLevel = 1, kSDLevel = 6, kCHDecay = 28, kOHDecay = 31, kCCDecay = 34;
} // namespace drums
namespace kick {
constexpr int32_t kVcoDecay = 1, kVcoCurve = 2, kAmpDecay = 4, kCutoff = 6;
} // namespace kick
namespace mixer {
constexpr int32_t Track(int32_t t, int32_t role) {
    return 7 * (t - 1) + role;
}
constexpr int32_t Aux(int32_t a, int32_t role) {
    return 56 + 5 * (a - 1) + role;
}
constexpr int32_t kLevel = 0, kBalance = 1, kLow = 2, kMid = 3, kHigh = 4, kAux1 = 5, kAux2 = 6;
} // namespace mixer

// ----- Bass -----

void AddBassNotes(Pattern* pattern, int32_t bar, int32_t root, int32_t third, int variant) {
    const int32_t s = bar * kBar;
    switch (variant) {
    case 0: // intro: root on the beat, octave on the off-beats
        for (int32_t step = 0; step < kBar; step += 4) {
            pattern->AddNote(s + step, 2, root);
            pattern->AddNote(s + step + 2, 1, root + 12);
        }
        break;
    case 1: // main figure
        pattern->AddNote(s + 0, 2, root);
        pattern->AddNote(s + 3, 1, root);
        pattern->AddNote(s + 6, 1, root + 12);
        pattern->AddNote(s + 8, 2, root);
        pattern->AddNote(s + 11, 1, root);
        pattern->AddNote(s + 12, 1, root + 12);
        pattern->AddNote(s + 14, 1, root + 7);
        break;
    case 2: // second figure: climbs through the chord
        pattern->AddNote(s + 0, 3, root);
        pattern->AddNote(s + 4, 1, root + 12);
        pattern->AddNote(s + 6, 1, root);
        pattern->AddNote(s + 7, 1, root + third);
        pattern->AddNote(s + 8, 2, root + 7);
        pattern->AddNote(s + 10, 1, root);
        pattern->AddNote(s + 12, 2, root + 12);
        pattern->AddNote(s + 14, 1, root + 7);
        pattern->AddNote(s + 15, 1, root + third + 12);
        break;
    default: // break: one long note a bar, an octave up
        pattern->AddNote(s, 15, root + 12);
        break;
    }
}

Pattern* BassPattern(CDemo& demo, CMachineContainer* bass, const char* name, int variant) {
    Pattern* pattern = demo.NewPattern(bass, 4 * kBarBeats, name);
    for (int32_t bar = 0; bar < 4; ++bar)
        AddBassNotes(pattern, bar, kRoots[bar], kThirds[bar], variant);
    return pattern;
}

// ----- Arpeggio -----

Pattern* ArpPattern(CDemo& demo, CMachineContainer* arp, const char* name, bool halfTime) {
    Pattern* pattern = demo.NewPattern(arp, 4 * kBarBeats, name);
    for (int32_t bar = 0; bar < 4; ++bar) {
        const int32_t root = kRoots[bar] + 24;
        const int32_t chord[4] = {root, root + kThirds[bar], root + 7, root + 12};
        const int32_t order[8] = {0, 1, 2, 3, 2, 1, 3, 2};
        const int32_t every = halfTime ? 4 : 2;
        for (int32_t i = 0; i * every < kBar; ++i)
            pattern->AddNote(bar * kBar + i * every, halfTime ? 3 : 1,
                             chord[order[i % 8]] + (i >= 4 && !halfTime ? 12 : 0));
    }
    return pattern;
}

// ----- Drums -----

struct DrumHit {
    int32_t step;
    int32_t drum;
};

Pattern* DrumPattern(CDemo& demo, CMachineContainer* kit, const char* name, int32_t beats,
                     const std::vector<DrumHit>& hits) {
    Pattern* pattern = demo.NewPattern(kit, beats, name);
    for (const DrumHit& hit : hits)
        pattern->AddNote(hit.step, 1, hit.drum);
    return pattern;
}

std::vector<DrumHit> OffbeatHats() {
    return {{2, kCH}, {6, kCH}, {10, kCH}, {14, kCH}};
}

std::vector<DrumHit> Groove(bool crash, bool variation) {
    std::vector<DrumHit> hits = {{4, kCP}, {12, kCP}, {2, kOH}, {10, kOH},
                                 {0, kCH}, {6, kCH},  {8, kCH}, {14, kCH}};
    hits.push_back({variation ? 13 : 15, kCH});
    if (variation) {
        hits.push_back({7, kRS});
        hits.push_back({11, kRS});
        hits.push_back({15, kSD});
    }
    if (crash) hits.push_back({0, kCC});
    return hits;
}

std::vector<DrumHit> Fill() {
    return {{0, kCH},  {2, kOH},  {4, kCP},  {4, kSD},  {8, kHT},  {9, kHT},
            {10, kMT}, {11, kMT}, {12, kLT}, {13, kLT}, {14, kSD}, {15, kSD}};
}

void Build(CDemo& demo, const std::string& path) {
    CStudio& studio = demo.m_studio;
    demo.m_app.Project().New();
    demo.m_app.Host()->SetBPM(kTempo);
    CMachineContainer* master = studio.MasterFrame();
    // Laid out so that no frame covers another at its real size: sources on the left, the
    // mixer across the middle with its send effects above, the smoothing and the master below.
    master->m_x = 1100;
    master->m_y = 560;

    // ----- Machines -----
    CMachineContainer* bass = demo.Add("VeskPlug::QX BassHead", "Bass", 40, 40);
    CMachineContainer* arp = demo.Add("VeskPlug::QX BassHead", "Arp", 460, 260);
    CMachineContainer* kit = demo.Add("VeskPlug::QX DGenR8", "Drum Kit", 460, 40);
    CMachineContainer* kickDrum = demo.Add("VeskPlug::QX Stomp", "Kick", 460, 150);
    CMachineContainer* recorder = demo.Add("QX HD Recorder Track (Stereo)", "Drums", 640, 40);
    CMachineContainer* desk = demo.Add("VeskPlug::QX Mixer-Stereo-8-2", "Mixer", 40, 520);
    CMachineContainer* echo = demo.Add("VeskPlug::QX QuadDelay", "Echo", 820, 40);
    CMachineContainer* room = demo.Add("VeskPlug::QX SpatialVerb", "Room", 980, 160);
    CMachineContainer* smooth = demo.Add("VeskPlug::QX AntiAlias", "AntiAlias", 660, 300);
    bass->m_panelMode = kPanelDefault;
    desk->m_panelMode = kPanelOwn;

    // Bass: saw and a square an octave down, soft-clipped, a plucky filter.
    CDemo::Set(bass,
               {{bass::kAmpAttack, 0.0f},      {bass::kAmpDecay, 0.35f},      {bass::kAmpSustain, 0.7f},
                {bass::kAmpRelease, 0.2f},     {bass::kFilterAttack, 0.0f},   {bass::kFilterDecay, 0.3f},
                {bass::kFilterSustain, 0.15f}, {bass::kFilterRelease, 0.25f}, {bass::kVco1Shape, 0.0f},
                {bass::kVco2Shape, 0.5f},      {bass::kVco2Semitone, 0.375f}, {bass::kVco2Detune, 0.05f},
                {bass::kVcf1Cutoff, 0.2f},     {bass::kVcf1Resonance, 0.4f},  {bass::kVcf1KeyFollow, 0.6f},
                {bass::kVcf1EnvMod, 0.35f},    {bass::kVcf2Cutoff, 0.95f},    {bass::kVcf2Resonance, 0.0f},
                {bass::kVcf2KeyFollow, 0.5f},  {bass::kVcf2EnvMod, 0.0f},     {bass::kOscBalance, 0.4f},
                {bass::kOscVolume, 1.0f},      {bass::kSaturation, 0.3f},     {bass::kOverdrive, 0.08f},
                {bass::kPortamento, 0.12f}});
    // Arp: a short square pluck.
    CDemo::Set(arp, {{bass::kAmpAttack, 0.0f},     {bass::kAmpDecay, 0.3f},      {bass::kAmpSustain, 0.0f},
                     {bass::kAmpRelease, 0.25f},   {bass::kFilterAttack, 0.0f},  {bass::kFilterDecay, 0.25f},
                     {bass::kFilterSustain, 0.0f}, {bass::kVco1Shape, 0.5f},     {bass::kVco2Shape, 0.0f},
                     {bass::kVco2Semitone, 0.5f},  {bass::kVco2Detune, 0.12f},   {bass::kVcf1Cutoff, 0.35f},
                     {bass::kVcf1Resonance, 0.3f}, {bass::kVcf1KeyFollow, 0.5f}, {bass::kVcf1EnvMod, 0.3f},
                     {bass::kVcf2Cutoff, 0.95f},   {bass::kVcf2EnvMod, 0.0f},    {bass::kVcf2KeyFollow, 0.5f},
                     {bass::kOscBalance, 0.5f},    {bass::kOscVolume, 0.9f}});
    CDemo::Set(kit, {{drums::kBDLevel, 0.0f},
                     {drums::kSDLevel, 0.85f},
                     {drums::kCHDecay, 0.1f},
                     {drums::kOHDecay, 0.25f},
                     {drums::kCCDecay, 0.7f}});
    CDemo::Set(
        kickDrum,
        {{kick::kVcoDecay, 0.25f}, {kick::kVcoCurve, 0.3f}, {kick::kAmpDecay, 0.45f}, {kick::kCutoff, 0.4f}});
    // Echo: a dotted eighth (0.375 s) and a quarter (0.5 s), band-passed in the loop.
    CDemo::Set(echo, {{0, 0.4528f},
                      {1, 0.45f},
                      {2, 0.55f},
                      {3, 0.3f},
                      {6, 1.0f},
                      {7, 0.0f},
                      {8, 0.58f},
                      {9, 0.35f},
                      {10, 0.6f},
                      {11, 0.3f},
                      {14, 0.9f},
                      {15, 0.0f},
                      {22, 0.0f},
                      {30, 0.0f}});
    CDemo::Set(room, {{8, 0.5f}, {9, 0.7f}, {10, 0.3f}, {11, 0.65f}, {12, 0.75f}, {13, 0.6f}});
    CDemo::Set(smooth, {{0, 0.5f}});

    using namespace mixer;
    // Tracks: 1 bass, 2 drums, 3 kick, 4 arp.
    CDemo::Set(desk, {{Track(1, kLevel), 0.82f},  {Track(1, kBalance), 0.5f},  {Track(1, kAux1), 0.0f},
                      {Track(1, kAux2), 0.04f},   {Track(2, kLevel), 0.8f},    {Track(2, kBalance), 0.5f},
                      {Track(2, kAux1), 0.05f},   {Track(2, kAux2), 0.25f},    {Track(3, kLevel), 0.72f},
                      {Track(3, kBalance), 0.5f}, {Track(3, kAux1), 0.0f},     {Track(3, kAux2), 0.0f},
                      {Track(4, kLevel), 0.78f},  {Track(4, kBalance), 0.42f}, {Track(4, kAux1), 0.3f},
                      {Track(4, kAux2), 0.3f},    {Aux(1, kLevel), 1.0f},      {Aux(1, kBalance), 0.6f},
                      {Aux(2, kLevel), 0.8f},     {Aux(2, kBalance), 0.5f}});
    for (int32_t t = 5; t <= 8; ++t)
        CDemo::Set(desk, {{Track(t, kLevel), 0.0f}});

    // ----- Cables -----
    demo.Cable(bass, "Line Out", desk, "Track 1 In");
    demo.Cable(kit, "Line Out", recorder, "Line In");
    demo.Cable(recorder, "Line Out", desk, "Track 2 In");
    demo.Cable(kickDrum, "Line Out", desk, "Track 3 In");
    demo.Cable(arp, "Line Out", desk, "Track 4 In");
    demo.Cable(desk, "AUX 1 Out", echo, "Line In");
    demo.Cable(echo, "Line Out", desk, "AUX 1 In");
    demo.Cable(desk, "AUX 2 Out", room, "Line In");
    demo.Cable(room, "Line Out", desk, "AUX 2 In");
    demo.Cable(desk, "Output", smooth, "Line In");
    demo.Cable(smooth, "Line Out", master, "Line In", 0.7f);

    demo.m_song.SetLength(kSongBars * kBarBeats);

    // ----- Bass line -----
    Pattern* bassIntro = BassPattern(demo, bass, "Bass Intro", 0);
    CDemo::Sweep(bassIntro, bass::kVcf1Cutoff, 0, 64, 2, CDemo::Line(0.1f, 0.24f));
    Pattern* bassRise = BassPattern(demo, bass, "Bass Rise", 1);
    CDemo::Sweep(bassRise, bass::kVcf1Cutoff, 0, 64, 2, CDemo::Line(0.15f, 0.34f));
    Pattern* bassMain = BassPattern(demo, bass, "Bass Main", 1);
    CDemo::Sweep(bassMain, bass::kVcf1Cutoff, 0, 64, 2,
                 [](float t) { return 0.24f + 0.07f * std::sin(6.2831853f * t); });
    Pattern* bassClimb = BassPattern(demo, bass, "Bass Climb", 2);
    CDemo::Sweep(bassClimb, bass::kVcf1Cutoff, 0, 64, 2,
                 [](float t) { return 0.26f + 0.08f * std::sin(6.2831853f * 2.0f * t); });
    Pattern* bassBreak = BassPattern(demo, bass, "Bass Break", 3);
    CDemo::Sweep(bassBreak, bass::kVcf1Cutoff, 0, 64, 1,
                 [](float t) { return 0.12f + 0.22f * std::sin(3.14159265f * t); });
    CDemo::Sweep(bassBreak, bass::kVcf1Resonance, 0, 64, 16, CDemo::Line(0.55f, 0.7f));
    Pattern* bassOutro = BassPattern(demo, bass, "Bass Outro", 1);
    CDemo::Sweep(bassOutro, bass::kVcf1Cutoff, 0, 64, 2, CDemo::Line(0.26f, 0.04f));
    CDemo::Sweep(bassOutro, bass::kVcf1Resonance, 0, 1, 1, CDemo::Line(0.4f, 0.4f));
    Pattern* bassEnd = demo.NewPattern(bass, kBarBeats, "Bass End");
    bassEnd->AddNote(0, 8, kRoots[0]);
    CDemo::Sweep(bassEnd, bass::kVcf1Cutoff, 0, 1, 1, CDemo::Line(0.2f, 0.2f));

    for (int32_t bar : {0, 4})
        demo.Place(bassIntro, bar);
    demo.Place(bassMain, 8);
    demo.Place(bassRise, 12);
    for (int32_t bar : {16, 24, 36})
        demo.Place(bassMain, bar);
    for (int32_t bar : {20, 28, 40})
        demo.Place(bassClimb, bar);
    demo.Place(bassBreak, 32);
    demo.Place(bassOutro, 44);
    demo.Place(bassEnd, 48);

    // ----- Arpeggio -----
    Pattern* arpRise = ArpPattern(demo, arp, "Arp Rise", false);
    CDemo::Sweep(arpRise, bass::kVcf1Cutoff, 0, 64, 1, CDemo::Line(0.2f, 0.42f));
    Pattern* arpMain = ArpPattern(demo, arp, "Arp Main", false);
    CDemo::Sweep(arpMain, bass::kVcf1Cutoff, 0, 64, 4,
                 [](float t) { return 0.38f + 0.06f * std::sin(6.2831853f * t); });
    Pattern* arpBreak = ArpPattern(demo, arp, "Arp Break", true);
    CDemo::Sweep(arpBreak, bass::kVcf1Cutoff, 0, 64, 4, CDemo::Line(0.3f, 0.45f));
    demo.Place(arpRise, 12);
    for (int32_t bar : {20, 28, 40})
        demo.Place(arpMain, bar);
    demo.Place(arpBreak, 32);

    // ----- Drums -----
    Pattern* hats = DrumPattern(demo, kit, "Hats", kBarBeats, OffbeatHats());
    Pattern* groove = DrumPattern(demo, kit, "Groove", kBarBeats, Groove(false, false));
    Pattern* grooveB = DrumPattern(demo, kit, "Groove B", kBarBeats, Groove(false, true));
    Pattern* grooveCrash = DrumPattern(demo, kit, "Groove Crash", kBarBeats, Groove(true, false));
    Pattern* fill = DrumPattern(demo, kit, "Fill", kBarBeats, Fill());
    std::vector<DrumHit> buildHits;
    for (int32_t bar = 0; bar < 4; ++bar) {
        for (int32_t step = 0; step < kBar; step += 2)
            buildHits.push_back({bar * kBar + step, kCH});
        if (bar >= 2) {
            buildHits.push_back({bar * kBar + 4, kCP});
            buildHits.push_back({bar * kBar + 12, kCP});
        }
    }
    Pattern* hatBuild = DrumPattern(demo, kit, "Hat Build", 4 * kBarBeats, buildHits);
    CDemo::Sweep(hatBuild, drums::kCHDecay, 0, 64, 4, CDemo::Line(0.05f, 0.3f));
    std::vector<DrumHit> rideHits;
    for (int32_t step = 0; step < kBar; step += 4)
        rideHits.push_back({step, kRC});
    for (int32_t step = 2; step < kBar; step += 4)
        rideHits.push_back({step, kCH});
    Pattern* ride = DrumPattern(demo, kit, "Ride", kBarBeats, rideHits);
    CDemo::Sweep(ride, drums::kCHDecay, 0, 1, 1, CDemo::Line(0.1f, 0.1f));
    Pattern* finalCrash = DrumPattern(demo, kit, "Last Crash", kBarBeats, {{0, kCC}, {0, kCP}});

    for (int32_t bar = 0; bar < 7; ++bar)
        demo.Place(hats, bar);
    demo.Place(fill, 7);
    demo.Place(hatBuild, 8);
    for (int32_t bar = 12; bar < 15; ++bar)
        demo.Place(groove, bar);
    demo.Place(fill, 15);
    auto main = [&](int32_t from, int32_t to) {
        for (int32_t bar = from; bar < to; ++bar) {
            const int32_t inSection = bar - from;
            if (inSection % 8 == 0)
                demo.Place(grooveCrash, bar);
            else if (bar == to - 1)
                demo.Place(fill, bar);
            else
                demo.Place(inSection % 4 == 3 ? grooveB : groove, bar);
        }
    };
    main(16, 32);
    for (int32_t bar = 32; bar < 35; ++bar)
        demo.Place(ride, bar);
    demo.Place(fill, 35);
    main(36, 44);
    for (int32_t bar = 44; bar < 48; ++bar)
        demo.Place(bar == 44 ? grooveCrash : hats, bar);
    demo.Place(finalCrash, 48);

    // ----- Kick -----
    Pattern* kickBeat = demo.NewPattern(kickDrum, kBarBeats, "Four To The Floor");
    for (int32_t step = 0; step < kBar; step += 4)
        kickBeat->AddNote(step, 2, 52);
    Pattern* kickBuild = demo.NewPattern(kickDrum, 4 * kBarBeats, "Kick Build");
    for (int32_t step = 0; step < 4 * kBar; step += 4)
        kickBuild->AddNote(step, 2, 52);
    CDemo::Sweep(kickBuild, kick::kCutoff, 0, 64, 4, CDemo::Line(0.3f, 0.4f));
    Pattern* kickStop = demo.NewPattern(kickDrum, kBarBeats, "Kick Stop");
    for (int32_t step = 0; step < 12; step += 4)
        kickStop->AddNote(step, 2, 52);
    Pattern* kickLast = demo.NewPattern(kickDrum, kBarBeats, "Kick Last");
    kickLast->AddNote(0, 2, 52);

    for (int32_t bar = 4; bar < 8; ++bar)
        demo.Place(bar == 7 ? kickStop : kickBeat, bar);
    demo.Place(kickBuild, 8);
    for (int32_t bar = 12; bar < 32; ++bar)
        demo.Place(bar == 15 || bar == 31 ? kickStop : kickBeat, bar);
    for (int32_t bar = 36; bar < 48; ++bar)
        demo.Place(bar == 43 ? kickStop : kickBeat, bar);
    demo.Place(kickLast, 48);

    demo.m_app.Project().SetInfo(
        "Night Drive - the demo song of Tamborel Studio.\n"
        "A minor, Am-F-C-G, 120 beats per minute (a step is a sixteenth). 49 bars: intro, build, main, "
        "break, main, outro.\n"
        "Bass, Arp (two BassHeads), Kick (Stomp) and the drum kit (recorded by the HD recorder track "
        "\"Drums\") meet in the mixer; AUX 1 feeds the QuadDelay, AUX 2 the SpatialVerb; the AntiAlias "
        "filter sits before the master.\n"
        "Made by tools/make_demo.cpp.");
    demo.m_app.Project().SaveAs(path);
}

} // namespace

int main(int argc, char** argv) {
    std::string path = "examples/demo.tbp";
    std::filesystem::path plugins;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugins" && i + 1 < argc)
            plugins = argv[++i];
        else
            path = arg;
    }
    try {
        CApplication::Settings settings;
        settings.pluginFolder = plugins;
        settings.newProject = false;
        settings.vstFolders = std::vector<std::filesystem::path>{};
        CApplication application(settings);
        CDemo demo(application);
        Build(demo, path);
        std::cout << "make_demo: wrote " << path << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "make_demo: " << error.what() << '\n';
        return 1;
    }
}
