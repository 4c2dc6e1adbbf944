// Small SoundFont files made in the tests: chunks, LISTs and a whole "sfbk" file whose parts a
// test can leave out or spoil one at a time. Shared by the reader's tests and the bank explorer's.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sf_test {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

inline Bytes Chunk(const char* id, const Bytes& data) {
    Bytes bytes(id, id + 4);
    Put32(bytes, static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// A zero-terminated text, padded to an even length as SoundFont editors write it.
inline Bytes Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    if (bytes.size() % 2) bytes.push_back(0);
    return bytes;
}

inline Bytes Version(uint16_t major, uint16_t minor) {
    return {static_cast<uint8_t>(major), static_cast<uint8_t>(major >> 8), static_cast<uint8_t>(minor),
            static_cast<uint8_t>(minor >> 8)};
}

inline Bytes Join(const std::vector<Bytes>& parts) {
    Bytes bytes;
    for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

inline Bytes List(const char* type, const std::vector<Bytes>& chunks) {
    Bytes data(type, type + 4);
    const Bytes body = Join(chunks);
    data.insert(data.end(), body.begin(), body.end());
    return Chunk("LIST", data);
}

// One 38-byte preset header record: the name (20 bytes, zero-padded unless it fills them),
// program, bank, zone index and three unused 32-bit words.
inline Bytes PresetRecord(const std::string& name, uint16_t program, uint16_t bank) {
    Bytes bytes(20, 0);
    std::memcpy(bytes.data(), name.data(), std::min<size_t>(name.size(), 20));
    for (uint16_t value : {program, bank, uint16_t{0}}) {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    bytes.resize(38, 0);
    return bytes;
}

// The preset headers with the terminal record "EOP" after the given presets.
inline Bytes PresetHeaders(const std::vector<std::string>& names) {
    std::vector<Bytes> records;
    for (size_t i = 0; i < names.size(); ++i) records.push_back(PresetRecord(names[i], static_cast<uint16_t>(i), 0));
    records.push_back(PresetRecord("EOP", 255, 255));
    return Chunk("phdr", Join(records));
}

inline Bytes Riff(const char* form, const std::vector<Bytes>& chunks) {
    Bytes data(form, form + 4);
    const Bytes body = Join(chunks);
    data.insert(data.end(), body.begin(), body.end());
    return Chunk("RIFF", data);
}

// The parts of a small valid bank, each replaceable before Build.
struct CBankFile {
    std::vector<Bytes> info = {Chunk("ifil", Version(2, 1)), Chunk("isng", Text("EMU8000")),
                               Chunk("INAM", Text("Test Bank"))};
    std::vector<Bytes> sampleData = {Chunk("smpl", Bytes(64, 0))};
    std::vector<Bytes> presetData = {PresetHeaders({"Grand Piano", "Strings"}), Chunk("pbag", Bytes(8, 0))};

    Bytes Build() const {
        return Riff("sfbk", {List("INFO", info), List("sdta", sampleData), List("pdta", presetData)});
    }
};

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace sf_test
