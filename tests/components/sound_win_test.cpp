// The system's wave player: only an existing regular file is handed to the sound service.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <filesystem>
#include <fstream>

#include "components/ZRMultiButton.h"

namespace components {
namespace {

TEST(MultiButtonSound, TheSystemPlayerPlaysOnlyExistingFiles) {
    WavePlayer& player = SystemWavePlayer();
    const auto dir = std::filesystem::temp_directory_path() / "zr_multibutton_sound";
    std::filesystem::create_directories(dir);
    const auto wave = dir / "clique.wav";
    {
        // A short silent wave file: 8 kHz, 8 bits, mono, 80 samples.
        std::ofstream out(wave, std::ios::binary);
        auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
        out.write("RIFF", 4);
        u32(36 + 80);
        out.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(1);
        u32(8000);
        u32(8000);
        u16(1);
        u16(8);
        out.write("data", 4);
        u32(80);
        out.write(std::string(80, '\x80').data(), 80);
    }
    EXPECT_FALSE(player.Play(""));
    EXPECT_FALSE(player.Play((dir / "missing.wav").string()));
    EXPECT_FALSE(player.Play(dir.string())) << "a folder is not a sound";
    EXPECT_TRUE(player.Play(wave.string()));
    sndPlaySoundA(nullptr, 0);  // stop it before the file goes
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace components
