// The acoustic model behind QX SpatialVerb: mirror-image source trees of a rectangular room, the
// sparse multi-tap lines that play the early reflections, and the four-line feedback network of
// the late tail.
//
// Units: positions in metres, times in seconds unless a name says samples. The speed of sound is
// 346.02 m/s. Trees and taps are built outside the audio path (allocation allowed); the tap lines
// and the late reverb render without allocating.
#pragma once

#include <cstdint>
#include <vector>

constexpr float kSpeedOfSound = 346.02f;

// A rectangle seen from above, W × H metres, with one reflection factor for every wall.
struct RoomGeometry {
    float width = 18.0f;
    float height = 22.0f;
    float reflection = 0.3f;
    float sourceLeft[2] = {}, sourceRight[2] = {};
    float listenerLeft[2] = {}, listenerRight[2] = {};
};

// The mirror images of one source within a radius of the room. A node's children are its mirror
// images in the walls it may still be reflected in; a k-times reflected image weighs r^k.
class CImageSourceTree {
public:
    struct Node {
        float x, y;
        float amplitude;
        int32_t children[4];
        int32_t childCount;
    };

    // Rebuilds the tree of source (x, y); images farther than window seconds of travel from the
    // room are not expanded.
    void Build(float x, float y, float width, float height, float reflection, float window);

    // The summed amplitude of the images first heard at the listening point (lx, ly) during
    // [t0, t1): a node counts when its arrival falls inside, its subtree only when it arrives before.
    float Response(float lx, float ly, float t0, float t1) const;
    // Response over consecutive intervals at once: bin i covers [edges[i], edges[i+1]) with the
    // travel distances squared given by edges (metres², non-decreasing, edges[0] the start). Adds
    // into bins (edges.size() − 1 values). Equal to calling Response per interval.
    void AddResponses(float lx, float ly, const std::vector<float>& squaredEdges, float* bins) const;

    const std::vector<Node>& Nodes() const { return m_nodes; }

private:
    void Expand(int32_t index, float width, float height, float reflection, float reach2);
    float NodeResponse(int32_t index, float lx, float ly, float a, float b) const;

    std::vector<Node> m_nodes;
};

// One input channel's early reflections: a history of N samples read by two sparse tap sets, A for
// the left output and B for the right; new sets are crossfaded in over a short fade.
class CEarlyTapLine {
public:
    struct Tap {
        int32_t delay; // samples, 0 .. N − 1
        float gain;
    };
    static constexpr int32_t kLateFeedDelay = 601;
    // Longest run processed at once: the history holds N + kMaxChunk samples, so a run's new
    // samples never overwrite one that a tap of the same run still has to read.
    static constexpr int32_t kMaxChunk = 256;

    explicit CEarlyTapLine(int32_t length);

    // Takes the non-zero gains of a and b (one per delay, N each) as the new tap sets. With no fade
    // running the current sets fade out over fadeLength samples; during a fade only the incoming
    // sets are replaced and the running fade carries on.
    void Install(const std::vector<float>& a, const std::vector<float>& b, int32_t fadeLength);
    // count samples of in: outA, outB (early reflections) and feed (the input 601 samples ago, for
    // the late reverb). count must not exceed the scratch size given to SetBlockSize.
    void Process(const float* in, int32_t count, float* outA, float* outB, float* feed);
    void SetBlockSize(int32_t count);

    int32_t Length() const { return m_length; }
    const std::vector<Tap>& TapsA() const { return m_a; }
    const std::vector<Tap>& TapsB() const { return m_b; }
    const std::vector<Tap>& PreviousA() const { return m_previousA; }
    int32_t FadeLeft() const { return m_fadeLeft; }
    float FadeWeight() const { return m_fade; }

private:
    static void Gather(const std::vector<float>& gains, std::vector<Tap>& taps);
    static void Sum(const std::vector<Tap>& taps, const float* history, int32_t count, float* out);

    int32_t m_length;
    // 2L with L = N + kMaxChunk: every sample is kept at w and w + L, so reads never wrap.
    int32_t m_ring;
    std::vector<float> m_history;
    int32_t m_write = 0;
    std::vector<Tap> m_a, m_b, m_previousA, m_previousB;
    int32_t m_fadeLeft = 0;
    float m_fade = 1.0f;
    float m_fadeStep = 0.0f;
    std::vector<float> m_scratch;
};

// The late tail: four delay lines (601, 691, 773, 839 samples) with a Butterworth low-pass in each
// loop, mixed back through a scaled Householder matrix. Feedback and gain glide to their targets.
class CLateReverb {
public:
    static constexpr int32_t kLines = 4;
    static constexpr int32_t kLengths[kLines] = {601, 691, 773, 839};

    CLateReverb(int32_t sampleRate, float feedback, float gain, float cutoffHz);

    void SetFeedback(float target) { m_feedbackTarget = target; }
    void SetGain(float target) { m_gainTarget = target; }
    // Low-pass cutoff in Hz (kept within 1 Hz .. sample rate / 4).
    void SetCutoff(float hz);
    // One sample: inputs a (left feed) and b (right feed) → left and right.
    void Process(float a, float b, float& left, float& right);
    // count samples of the same; left and right may be a and b.
    void Process(const float* a, const float* b, float* left, float* right, int32_t count);

    float FeedbackTarget() const { return m_feedbackTarget; }
    float GainTarget() const { return m_gainTarget; }
    float Cutoff() const { return m_cutoff; }

private:
    struct Line {
        std::vector<float> ring;
        int32_t index = 0;
    };
    Line m_lines[kLines];
    // The four lines' low-pass states, a lane per line.
    float m_x1[kLines] = {}, m_x2[kLines] = {}, m_y1[kLines] = {}, m_y2[kLines] = {};
    int32_t m_sampleRate;
    float m_b0 = 1, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    float m_cutoff = 0;
    float m_feedbackTarget, m_feedback;
    float m_gainTarget, m_gain;
};
