// A support library in a plug-in folder: no VST entry at all.
extern "C" __attribute__((visibility("default"))) int SupportLibraryVersion() {
    return 3;
}
