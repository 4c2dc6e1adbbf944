// What the test plug-in saw, read by the adapter's tests through its TestPluginLog export.
#pragma once

struct TestPluginLog {
    int midiEvents = 0;
    unsigned char midi[64][3] = {};
    int deltaFrames[64] = {};
    int processEventsCalls = 0;
    int opcodes[256] = {};
    float parameters[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    unsigned char chunk[37] = {};
    int chunkSize = 0;
    int blocks = 0;
    // The time information the plug-in was given while rendering its last block.
    double samplePos = -1.0;
    double sampleRate = 0.0;
    double ppqPos = -1.0;
    double tempo = 0.0;
    double barStartPos = -1.0;
    int timeFlags = 0;
    int timeSigNumerator = 0;
    int timeSigDenominator = 0;
    // The editor (plug-ins built with PLUGIN_EDITOR): the window it was opened in, the thread that
    // opened it, effEditIdle calls made on any other thread, and the order of the editor and
    // shut-down calls (effEditOpen, effEditClose, effStopProcess, effMainsChanged, effClose).
    void* editorParent = nullptr;
    unsigned long editorThread = 0;
    int idlesOffEditorThread = 0;
    int sequence[64] = {};
    int sequenceLength = 0;
};
