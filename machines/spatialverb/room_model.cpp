#include "machines/spatialverb/room_model.h"

#include "machines/dsp/dsp_math.h"
#include "machines/dsp/fast_exp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Squared distance from (x, y) to the rectangle 0..W × 0..H (0 inside).
float SquaredDistanceToRoom(float x, float y, float width, float height) {
    const float dx = x < 0.0f ? -x : (x > width ? x - width : 0.0f);
    const float dy = y < 0.0f ? -y : (y > height ? y - height : 0.0f);
    return dx * dx + dy * dy;
}

float SquaredDistance(const CImageSourceTree::Node& node, float x, float y) {
    const float dx = node.x - x;
    const float dy = node.y - y;
    return dx * dx + dy * dy;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Image-source tree

void CImageSourceTree::Build(float x, float y, float width, float height, float reflection, float window) {
    m_nodes.clear();
    m_nodes.push_back(Node{x, y, 1.0f, {0, 0, 0, 0}, 0});
    const float reach = window * kSpeedOfSound;
    Expand(0, width, height, reflection, reach * reach);
}

void CImageSourceTree::Expand(int32_t index, float width, float height, float reflection, float reach2) {
    const Node node = m_nodes[static_cast<size_t>(index)];
    const int gx = node.x < 0.0f ? 0 : (node.x > width ? 2 : 1);
    const int gy = node.y < 0.0f ? 0 : (node.y > height ? 2 : 1);
    float candidates[4][2];
    int32_t count = 0;
    if (gx != 0) candidates[count][0] = -node.x, candidates[count++][1] = node.y;
    if (gx != 2) candidates[count][0] = 2.0f * width - node.x, candidates[count++][1] = node.y;
    if (gy != 0) candidates[count][0] = node.x, candidates[count++][1] = -node.y;
    if (gy != 2) candidates[count][0] = node.x, candidates[count++][1] = 2.0f * height - node.y;
    const float amplitude = node.amplitude * reflection;
    for (int32_t c = 0; c < count; ++c) {
        const float cx = candidates[c][0], cy = candidates[c][1];
        if (!(reach2 > SquaredDistanceToRoom(cx, cy, width, height))) continue;
        const auto child = static_cast<int32_t>(m_nodes.size());
        m_nodes.push_back(Node{cx, cy, amplitude, {0, 0, 0, 0}, 0});
        Node& parent = m_nodes[static_cast<size_t>(index)];
        parent.children[parent.childCount++] = child;
        Expand(child, width, height, reflection, reach2);
    }
}

float CImageSourceTree::NodeResponse(int32_t index, float lx, float ly, float a, float b) const {
    const Node& node = m_nodes[static_cast<size_t>(index)];
    const float d2 = SquaredDistance(node, lx, ly);
    if (d2 >= b) return 0.0f;
    if (d2 >= a) return node.amplitude;
    float sum = 0.0f;
    for (int32_t c = 0; c < node.childCount; ++c)
        sum += NodeResponse(node.children[c], lx, ly, a, b);
    return sum;
}

float CImageSourceTree::Response(float lx, float ly, float t0, float t1) const {
    if (m_nodes.empty()) return 0.0f;
    const float ra = t0 * kSpeedOfSound;
    const float rb = t1 * kSpeedOfSound;
    return NodeResponse(0, lx, ly, ra * ra, rb * rb);
}

void CImageSourceTree::AddResponses(float lx, float ly, const std::vector<float>& squaredEdges,
                                    float* bins) const {
    if (m_nodes.empty() || squaredEdges.size() < 2) return;
    const float end = squaredEdges.back();
    // A node counts in the bin its arrival falls into when every ancestor arrived before that bin
    // began; its children are reached only through it, so the nearest-so-far ancestor bound travels
    // down the tree.
    struct Item {
        int32_t index;
        float ancestors; // largest squared distance among the ancestors
    };
    Item stack[512];
    int32_t top = 0;
    stack[top++] = Item{0, -1.0f};
    while (top > 0) {
        const Item item = stack[--top];
        const Node& node = m_nodes[static_cast<size_t>(item.index)];
        const float d2 = SquaredDistance(node, lx, ly);
        if (d2 < end) {
            const auto k =
                std::upper_bound(squaredEdges.begin(), squaredEdges.end(), d2) - squaredEdges.begin() - 1;
            if (k >= 0 && item.ancestors < squaredEdges[static_cast<size_t>(k)]) bins[k] += node.amplitude;
        }
        const float bound = std::max(item.ancestors, d2);
        if (bound >= end) continue;
        for (int32_t c = 0; c < node.childCount && top < 512; ++c)
            stack[top++] = Item{node.children[c], bound};
    }
}

// ---------------------------------------------------------------------------------------------
// Early tap line

CEarlyTapLine::CEarlyTapLine(int32_t length)
    : m_length(std::max(length, 1)), m_ring(m_length + kMaxChunk), m_history(static_cast<size_t>(2 * m_ring), 0.0f) {
    const auto reserve = static_cast<size_t>(m_length);
    m_a.reserve(reserve);
    m_b.reserve(reserve);
    m_previousA.reserve(reserve);
    m_previousB.reserve(reserve);
}

void CEarlyTapLine::SetBlockSize(int32_t count) {
    m_scratch.assign(static_cast<size_t>(std::max(count, 1)), 0.0f);
}

void CEarlyTapLine::Gather(const std::vector<float>& gains, std::vector<Tap>& taps) {
    taps.clear();
    for (size_t i = 0; i < gains.size(); ++i)
        if (gains[i] != 0.0f) taps.push_back(Tap{static_cast<int32_t>(i), gains[i]});
}

void CEarlyTapLine::Install(const std::vector<float>& a, const std::vector<float>& b, int32_t fadeLength) {
    if (m_fadeLeft == 0) {
        std::swap(m_previousA, m_a);
        std::swap(m_previousB, m_b);
        m_fadeLeft = std::max(fadeLength, 1);
        m_fade = 0.0f;
        m_fadeStep = 1.0f / static_cast<float>(m_fadeLeft);
    }
    Gather(a, m_a);
    Gather(b, m_b);
}

void CEarlyTapLine::Sum(const std::vector<Tap>& taps, const float* history, int32_t count, float* out) {
    std::fill(out, out + count, 0.0f);
    for (const Tap& tap : taps) {
        const float* source = history - tap.delay;
        const float gain = tap.gain;
        for (int32_t i = 0; i < count; ++i)
            out[i] += gain * source[i];
    }
}

void CEarlyTapLine::Process(const float* in, int32_t count, float* outA, float* outB, float* feed) {
    const int32_t n = m_length;
    // The late feed: the sample written 601 ago, taken modulo the line when the line is shorter.
    int32_t feedDelay = kLateFeedDelay % n;
    if (feedDelay == 0) feedDelay = n;
    float* history = m_history.data();
    const int32_t ring = m_ring;
    int32_t done = 0;
    while (done < count) {
        // A run writes its samples before its taps read: with at most kMaxChunk new samples in a
        // ring of N + kMaxChunk, a tap N − 1 back still finds its old sample, whatever the
        // buffer size.
        const int32_t w = m_write;
        const int32_t chunk = std::min({count - done, ring - w, kMaxChunk});
        for (int32_t i = 0; i < chunk; ++i) {
            feed[done + i] = history[w + ring + i - feedDelay];
            history[w + i] = in[done + i];
            history[w + ring + i] = in[done + i];
        }
        // history + w + ring is the newest sample of the chunk's first step; delay d reads d back.
        const float* now = history + w + ring;
        Sum(m_a, now, chunk, outA + done);
        Sum(m_b, now, chunk, outB + done);
        if (m_fadeLeft > 0) {
            float* previous = m_scratch.data();
            int32_t i = 0;
            for (int32_t part = 0; part < 2; ++part) {
                float* out = part == 0 ? outA + done : outB + done;
                Sum(part == 0 ? m_previousA : m_previousB, now, chunk, previous);
                float d = m_fade;
                int32_t left = m_fadeLeft;
                for (i = 0; i < chunk && left > 0; ++i) {
                    out[i] = d * out[i] + (1.0f - d) * previous[i];
                    --left;
                    d += m_fadeStep;
                }
                if (part == 1) {
                    m_fade = d;
                    m_fadeLeft = left;
                }
            }
            if (m_fadeLeft == 0) {
                m_previousA.clear();
                m_previousB.clear();
            }
        }
        m_write = w + chunk == ring ? 0 : w + chunk;
        done += chunk;
    }
}

// ---------------------------------------------------------------------------------------------
// Late reverb

CLateReverb::CLateReverb(int32_t sampleRate, float feedback, float gain, float cutoffHz)
    : m_sampleRate(std::max(sampleRate, 1)), m_feedbackTarget(feedback), m_feedback(feedback),
      m_gainTarget(gain), m_gain(gain) {
    for (int32_t k = 0; k < kLines; ++k)
        m_lines[k].ring.assign(static_cast<size_t>(kLengths[k]), 0.0f);
    SetCutoff(cutoffHz);
}

void CLateReverb::SetCutoff(float hz) {
    const float rate = static_cast<float>(m_sampleRate);
    float fc = hz < 1.0f ? 1.0f : hz;
    if (fc > rate / 4.0f) fc = rate / 4.0f;
    m_cutoff = fc;
    const double e = 1.0 / std::tan(3.14159265358979323846 * fc / rate);
    const double root2 = std::sqrt(2.0);
    const double g = 1.0 / (e * root2 + 1.0 + e * e);
    m_b0 = static_cast<float>(g);
    m_b1 = static_cast<float>(2.0 * g);
    m_b2 = static_cast<float>(g);
    m_a1 = static_cast<float>(2.0 * g * (1.0 - e * e));
    m_a2 = static_cast<float>(g * (e * e + 1.0 - e * root2));
}

void CLateReverb::Process(float a, float b, float& left, float& right) {
    Process(&a, &b, &left, &right, 1);
}

void CLateReverb::Process(const float* a, const float* b, float* left, float* right, int32_t count) {
    // The four lines' filters step side by side, a lane each, with the operations of one line's
    // loop; the sums across the lines keep their order.
    static_assert(kLines == 4);
    DspVec4 x1 = LoadVec4(m_x1), x2 = LoadVec4(m_x2), y1 = LoadVec4(m_y1), y2 = LoadVec4(m_y2);
    const float b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    const DspVec4 smallest = DspVec4{} + std::numeric_limits<float>::min();
    int32_t i = 0;
    while (i < count) {
        // Up to the first ring's end, every ring's position moves on by one a sample.
        int32_t run = count - i;
        for (const Line& line : m_lines) run = std::min(run, static_cast<int32_t>(line.ring.size()) - line.index);
        float* rings[kLines];
        for (int32_t k = 0; k < kLines; ++k) rings[k] = m_lines[k].ring.data() + m_lines[k].index;
        for (int32_t j = 0; j < run; ++j, ++i) {
            m_gain = SmoothToward(m_gainTarget, m_gain);
            m_feedback = SmoothToward(m_feedbackTarget, m_feedback);
            const DspVec4 s = {rings[0][j], rings[1][j], rings[2][j], rings[3][j]};
            DspVec4 v = b0 * s + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            v = (DspVec4)((DspVec4i)v & 0x7fffffff) < smallest ? DspVec4{} : v;
            x2 = x1, x1 = s, y2 = y1, y1 = v;
            const float c = m_gain * 0.5f;
            const float f = m_feedback;
            const float m = f * -0.5f * (v[0] + v[1] + v[2] + v[3]);
            const float ai = a[i], bi = b[i];
            left[i] = (v[0] + v[2]) * c;
            right[i] = (v[1] + v[3]) * c;
            const DspVec4 in = (f * v + DspVec4{ai, bi, ai, bi}) + m;
            for (int32_t k = 0; k < kLines; ++k) rings[k][j] = in[k];
        }
        for (int32_t k = 0; k < kLines; ++k) {
            Line& line = m_lines[k];
            line.index += run;
            if (line.index == static_cast<int32_t>(line.ring.size())) line.index = 0;
        }
    }
    StoreVec4(m_x1, x1), StoreVec4(m_x2, x2), StoreVec4(m_y1, y1), StoreVec4(m_y2, y2);
}
