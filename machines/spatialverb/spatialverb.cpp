#include "machines/spatialverb/spatialverb.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/dsp_math.h"
#include "machines/spatialverb/spatialverb_panel_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char* const kNames[CSpatialVerb::kParameterCount] = {
    "Src Left X",  "Src Left Y", "Src Right X", "Src Right Y", "Dst Left X", "Dst Left Y", "Dst Right X",
    "Dst Right Y", "Room Width", "Room Height", "Wall Absorb", "Feedback",   "Cutoff",     "Gain",
};
const float kDefaults[CSpatialVerb::kParameterCount] = {0.2f, 0.2f, 0.8f, 0.2f, 0.4f, 0.8f, 0.6f,
                                                        0.9f, 0.4f, 0.6f, 0.5f, 0.5f, 0.6f, 0.8f};

bool ValidIndex(int32_t index) {
    return index >= 0 && index < CSpatialVerb::kParameterCount;
}

float RoomExtent(float v) {
    return 20.0f * v + 10.0f;
}
// Points lie between 0.1 and 0.9 of the room's extent.
float Position(float v, float extent) {
    return (0.8f * v + 0.1f) * extent;
}
float FeedbackTarget(float v) {
    const float u = 1.0f - v;
    return (1.0f - u * u * u) * 0.999f;
}
float GainTarget(float v) {
    return DbToGain(60.0f * v - 40.0f);
}

int32_t WindowSamples(int32_t rate) {
    return static_cast<int32_t>(static_cast<float>(rate) * CSpatialVerb::kWindow);
}

} // namespace

CSpatialVerb::CSpatialVerb(CVeskHost* host) : CMachine(host) {
    m_sampleRate = host ? host->GetSampleRate() : 44100;
    m_blockSize = host ? host->GetBufferSize() : 0;
    m_tapCount = WindowSamples(m_sampleRate);
    m_parameterCount = kParameterCount;
    for (auto& line : m_lines) {
        line = std::make_unique<CEarlyTapLine>(m_tapCount);
        line->SetBlockSize(m_blockSize);
    }
    std::copy(std::begin(kDefaults), std::end(kDefaults), m_values);
    CreatePrograms(kProgramCount);
    AddPort(kPortStereoIn, "Line In");
    AddPort(kPortStereoOut, "Line Out");
    m_late = std::make_unique<CLateReverb>(m_sampleRate, FeedbackTarget(m_values[kFeedback]),
                                           GainTarget(m_values[kGain]), CutoffHz(m_values[kCutoff]));
    SetBufferSize(m_blockSize);
    ComputeGeometry();
    BuildTrees();
    BuildTaps();
}

CSpatialVerb::~CSpatialVerb() {
    // The panel goes with the machine.
    if (m_panel) m_panel->ClosePanel();
}

bool CSpatialVerb::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    *left = 0;
    *top = 0;
    *right = spatialverb_panel::kWidth;
    *bottom = spatialverb_panel::kHeight;
    return true;
}

float CSpatialVerb::CutoffHz(float v) const {
    const float quarter = static_cast<float>(m_sampleRate) / 4.0f;
    return 440.0f * Pow2(v * OctavePitch(quarter) - 5.0f);
}

void CSpatialVerb::ComputeGeometry() {
    m_geometry.width = RoomExtent(m_values[kRoomWidth]);
    m_geometry.height = RoomExtent(m_values[kRoomHeight]);
    m_geometry.reflection = 0.6f - 0.59900004f * m_values[kWallAbsorb];
    m_geometry.sourceLeft[0] = Position(m_values[kSrcLeftX], m_geometry.width);
    m_geometry.sourceLeft[1] = Position(m_values[kSrcLeftY], m_geometry.height);
    m_geometry.sourceRight[0] = Position(m_values[kSrcRightX], m_geometry.width);
    m_geometry.sourceRight[1] = Position(m_values[kSrcRightY], m_geometry.height);
    ComputeListeners();
}

void CSpatialVerb::ComputeListeners() {
    m_geometry.listenerLeft[0] = Position(m_values[kDstLeftX], m_geometry.width);
    m_geometry.listenerLeft[1] = Position(m_values[kDstLeftY], m_geometry.height);
    m_geometry.listenerRight[0] = Position(m_values[kDstRightX], m_geometry.width);
    m_geometry.listenerRight[1] = Position(m_values[kDstRightY], m_geometry.height);
}

void CSpatialVerb::BuildTrees() {
    const RoomGeometry& g = m_geometry;
    m_trees[0].Build(g.sourceLeft[0], g.sourceLeft[1], g.width, g.height, g.reflection, kWindow);
    m_trees[1].Build(g.sourceRight[0], g.sourceRight[1], g.width, g.height, g.reflection, kWindow);
    ++m_treeBuilds;
}

void CSpatialVerb::BuildTaps() {
    const int32_t n = m_tapCount;
    // Bin i covers [i·τ, i·τ + τ), the times accumulated in single precision as travel distances².
    std::vector<float> edges(static_cast<size_t>(n) + 1);
    const float tau = kWindow / static_cast<float>(n);
    float t = 0.0f;
    edges[0] = 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        t += tau;
        const float r = t * kSpeedOfSound;
        edges[static_cast<size_t>(i) + 1] = r * r;
    }
    const RoomGeometry& g = m_geometry;
    // A fixed fade length: one tied to the buffer size would make the sound depend on it.
    constexpr int32_t fade = 128;
    for (int32_t source = 0; source < 2; ++source) {
        std::vector<float> a(static_cast<size_t>(n), 0.0f), b(static_cast<size_t>(n), 0.0f);
        m_trees[source].AddResponses(g.listenerLeft[0], g.listenerLeft[1], edges, a.data());
        m_trees[source].AddResponses(g.listenerRight[0], g.listenerRight[1], edges, b.data());
        m_lines[source]->Install(a, b, fade);
    }
    ++m_tapBuilds;
}

void CSpatialVerb::ApplyLate() {
    m_late->SetFeedback(FeedbackTarget(m_values[kFeedback]));
    m_late->SetGain(GainTarget(m_values[kGain]));
    m_late->SetCutoff(CutoffHz(m_values[kCutoff]));
}

void CSpatialVerb::Process() {
    m_processed.store(true, std::memory_order_relaxed);
    const CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    const int32_t n = std::min({m_blockSize, in->m_length, out->m_length});
    float* eLA = m_blocks[0].data();
    float* eLB = m_blocks[1].data();
    float* feedL = m_blocks[2].data();
    float* eRA = m_blocks[3].data();
    float* eRB = m_blocks[4].data();
    float* feedR = m_blocks[5].data();
    m_lines[0]->Process(in->m_channel1, n, eLA, eLB, feedL);
    m_lines[1]->Process(in->m_channel2, n, eRA, eRB, feedR);
    float* left = out->m_channel1;
    float* right = out->m_channel2;
    m_late->Process(feedL, feedR, feedL, feedR, n); // the late sound in place of its feeds
    for (int32_t i = 0; i < n; ++i) {
        left[i] = (eRA[i] + eLA[i] + feedL[i]) * 0.333f;
        right[i] = (eRB[i] + eLB[i] + feedR[i]) * 0.333f;
    }
}

float CSpatialVerb::GetParameter(int32_t index) {
    return ValidIndex(index) ? m_values[index] : 0.0f;
}

void CSpatialVerb::SetParameter(int32_t index, float value) {
    if (!ValidIndex(index)) return;
    m_values[index] = value;
    CMachine::SetParameter(index, value);
    if (m_panel) m_panel->MoveControl(index, value);
    m_panelDirty = true;
    if (index >= kDstLeftX && index <= kDstRightY)
        m_listenersDirty = true;
    else if (index >= kFeedback)
        m_lateDirty = true;
    else
        m_geometryDirty = true;
    if (!m_processed.load(std::memory_order_relaxed)) ApplyChanges();
}

void CSpatialVerb::GetParameterName(int32_t index, char* text) {
    text[0] = '\0';
    if (ValidIndex(index)) std::snprintf(text, 64, "%s", kNames[index]);
}

void CSpatialVerb::FormatParameter(int32_t index, float value, char* text) {
    text[0] = '\0';
    if (!ValidIndex(index)) return;
    switch (index) {
    case kRoomWidth:
    case kRoomHeight:
        std::snprintf(text, 64, "%.0fm", static_cast<double>(RoomExtent(value)));
        break;
    case kCutoff: {
        const float quarter = static_cast<float>(m_sampleRate) / 4.0f;
        float hz = CutoffHz(value);
        hz = std::clamp(hz, 1.0f, quarter);
        std::snprintf(text, 64, "%.0fHz", static_cast<double>(hz));
        break;
    }
    case kGain:
        std::snprintf(text, 64, "%.2fdB", static_cast<double>(60.0f * value - 40.0f));
        break;
    default:
        std::snprintf(text, 64, "%i%%", static_cast<int>(value * 100.0f));
        break;
    }
}

void CSpatialVerb::UpdateGUI() {
    CMutexLock lock(*this);
    ApplyChanges();
}

void CSpatialVerb::ApplyChanges() {
    if (m_panelDirty.exchange(false) && m_panel && m_currentProgram >= 0 &&
        m_currentProgram < m_programCount) {
        const Program* program = m_programs[m_currentProgram];
        for (int32_t i = 0; i < kParameterCount && i < program->valueCount; ++i)
            m_panel->MoveControl(i, program->values[i]);
    }
    if (m_geometryDirty.exchange(false)) {
        m_listenersDirty = false;
        ComputeGeometry();
        BuildTrees();
        BuildTaps();
        if (m_panel) {
            m_panel->RefreshRoom();
            m_panel->RefreshEarly();
        }
    } else if (m_listenersDirty.exchange(false)) {
        ComputeListeners();
        BuildTaps();
        if (m_panel) {
            m_panel->RefreshRoom();
            m_panel->RefreshEarly();
        }
    }
    if (m_lateDirty.exchange(false)) {
        ApplyLate();
        if (m_panel) m_panel->RefreshLate();
    }
}

void CSpatialVerb::OnGUIShown() {
    if (m_panel) m_panel->ShowText("Hello");
}

void CSpatialVerb::SetSampleRate(int32_t rate) {
    m_sampleRate = rate > 0 ? rate : 1;
    m_tapCount = std::max(WindowSamples(m_sampleRate), 1);
    for (auto& line : m_lines) {
        line = std::make_unique<CEarlyTapLine>(m_tapCount);
        line->SetBlockSize(m_blockSize);
    }
    m_late = std::make_unique<CLateReverb>(m_sampleRate, FeedbackTarget(m_values[kFeedback]),
                                           GainTarget(m_values[kGain]), CutoffHz(m_values[kCutoff]));
    ComputeGeometry();
    BuildTrees();
    BuildTaps();
    if (m_panel) {
        m_panel->RefreshRoom();
        m_panel->RefreshEarly();
        m_panel->RefreshLate();
    }
}

void CSpatialVerb::SetBufferSize(int32_t frames) {
    m_blockSize = frames;
    for (auto& block : m_blocks)
        block.assign(static_cast<size_t>(std::max(frames, 1)), 0.0f);
    for (auto& line : m_lines)
        line->SetBlockSize(frames);
}

std::vector<float> CSpatialVerb::EarlyResponse() const {
    std::vector<float> response(static_cast<size_t>(m_tapCount), 0.0f);
    for (const auto& line : m_lines) {
        for (const auto& tap : line->TapsA())
            response[static_cast<size_t>(tap.delay)] += 0.5f * tap.gain;
        for (const auto& tap : line->TapsB())
            response[static_cast<size_t>(tap.delay)] += 0.5f * tap.gain;
    }
    return response;
}

std::vector<float> CSpatialVerb::LateResponse() const {
    CLateReverb copy = *m_late;
    const int32_t n = m_tapCount;
    std::vector<float> response;
    response.reserve(static_cast<size_t>(2 * n));
    for (int32_t i = 0; i < 3 * n; ++i) {
        float left, right;
        const float impulse = i == 0 ? 1.0f : 0.0f;
        copy.Process(impulse, impulse, left, right);
        if (i >= n) response.push_back(0.5f * (std::fabs(left) + std::fabs(right)));
    }
    return response;
}
