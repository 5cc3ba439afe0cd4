// Decisions of the main window, without a window.
#include "PlayerLogic.h"
#include "SoundOutput.h"

#include <gtest/gtest.h>

using namespace velbrin::player;

TEST(PlayerLogic, WavOutputNameDropsTheLastFourCharactersOfTheFileName) {
    EXPECT_EQ(wavOutputName("/music/wav", "/songs/a.mp3"), "wav:/music/wav/a.wav");
    EXPECT_EQ(wavOutputName("/music/wav/", "/songs/Long Name.mp3"), "wav:/music/wav/Long Name.wav");
    EXPECT_EQ(wavOutputName("C:\\wav\\", "C:\\songs\\x.mp3"), "wav:C:\\wav\\x.wav");
    // Names shorter than an extension leave an empty or shortened base name.
    EXPECT_EQ(wavOutputName("/w", "/songs/abcd"), "wav:/w/.wav");
    EXPECT_EQ(wavOutputName("/w", "/songs/ab"), "wav:/w/.wav");
    EXPECT_EQ(wavOutputName("/w", "/songs/abcde"), "wav:/w/a.wav");
}

TEST(PlayerLogic, OutputNamesForStoredChoices) {
    EXPECT_EQ(deviceOutputName(1), "/dev/dsound/0");
    EXPECT_EQ(deviceOutputName(2), "/dev/wave/0");
    EXPECT_FALSE(deviceOutputName(3));
    EXPECT_FALSE(deviceOutputName(0));
}

TEST(PlayerLogic, StateTable) {
    auto stopped = viewForState(0, "Song");
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(stopped->stopEnabled);
    EXPECT_TRUE(stopped->playEnabled);
    EXPECT_FALSE(stopped->pauseEnabled);
    EXPECT_EQ(stopped->status, "Stopped");
    EXPECT_EQ(stopped->applicationTitle, "Stopped");
    auto playing = viewForState(1, "Song");
    EXPECT_TRUE(playing->stopEnabled && !playing->playEnabled && playing->pauseEnabled);
    EXPECT_EQ(playing->applicationTitle, "Song playing");
    EXPECT_TRUE(playing->isPlaying);
    auto paused = viewForState(2, "Song");
    EXPECT_TRUE(paused->stopEnabled && paused->playEnabled && !paused->pauseEnabled);
    EXPECT_EQ(paused->status, "Paused");
    EXPECT_EQ(paused->applicationTitle, "Song paused");
    EXPECT_FALSE(paused->isPlaying);
    auto ended = viewForState(3, "Song");
    EXPECT_TRUE(!ended->stopEnabled && ended->playEnabled && !ended->pauseEnabled);
    EXPECT_EQ(ended->status, "End of song");
    EXPECT_EQ(ended->applicationTitle, "Velbrin is Stopped");
    EXPECT_FALSE(viewForState(7, "Song"));
}

TEST(PlayerLogic, WhatFollowsTheEndOfASong) {
    // Repeating the current track wins over everything, also shuffle.
    EXPECT_EQ(afterEndOfSong({true, true, true, true}), AfterSong::PlayAgain);
    EXPECT_EQ(afterEndOfSong({false, false, false, false}), AfterSong::PlayNext);
    EXPECT_EQ(afterEndOfSong({false, true, true, false}), AfterSong::PlayNext);
    EXPECT_EQ(afterEndOfSong({false, true, false, true}), AfterSong::PlayFirst);
    EXPECT_EQ(afterEndOfSong({false, true, false, false}), AfterSong::Nothing);
}

TEST(PlayerLogic, SliderFollowsAnyRangeWithoutDividingByZero) {
    EXPECT_EQ(sliderPositionFor(200, 400, 0, 400), 200);
    EXPECT_EQ(sliderPositionFor(500, 1000, 0, 400), 200);
    EXPECT_EQ(sliderPositionFor(1, 2, 0, 400), 200);
    EXPECT_EQ(sliderPositionFor(7, 0, 0, 400), 0);
    EXPECT_EQ(sliderPositionFor(7, 10, 5, 5), 5);
    EXPECT_EQ(sliderPositionFor(900, 400, 0, 400), 400); // past the end is clamped
    EXPECT_EQ(sliderPositionFor(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 400), 400);
}

TEST(PlayerLogic, Texts) {
    EXPECT_EQ(streamParametersText(44100, 128, 2), "44100 Hz, 2 Ch, 128 kbps");
    EXPECT_EQ(moduleIdText(-1), "AUTOSELECT");
    EXPECT_EQ(moduleIdText(3), "3");
    EXPECT_EQ(moduleNodeText("dsound", "Sound card"), "dsound [Sound card]");
    EXPECT_EQ(timeText(3725), "01:02:05");
    EXPECT_EQ(timeText(0), "00:00:00");
    EXPECT_EQ(playingTitle("Song"), "Song playing");
    EXPECT_EQ(playingTitle(""), "Velbrin is Playing");
    EXPECT_EQ(playingTitle("\tX"), "Velbrin is Playing");
}

TEST(PlayerLogic, NowPlayingWithAndWithoutTag) {
    const auto untagged = nowPlayingFor("/music/My Song.mp3", {});
    EXPECT_EQ(untagged.titleLines, "My Song.mp3");
    EXPECT_EQ(untagged.artist, "(No file information)");
    EXPECT_EQ(untagged.category, "(Press F5 to edit tag)");
    EXPECT_EQ(untagged.album, "");
    EXPECT_EQ(untagged.applicationTitle, "My Song.mp3 playing");

    // A comment alone is no information.
    TagTexts commentOnly;
    commentOnly.comment = "just a comment";
    EXPECT_EQ(nowPlayingFor("/a.mp3", commentOnly).artist, "(No file information)");

    TagTexts tag{"Artist", "Title", "Album", "1999", "Comment", "Rock"};
    const auto tagged = nowPlayingFor("/a.mp3", tag);
    EXPECT_EQ(tagged.artist, "Artist");
    EXPECT_EQ(tagged.titleLines, "Title");
    EXPECT_EQ(tagged.currentTitleText, "Title\r\n");
    EXPECT_EQ(tagged.category, "Rock");
    EXPECT_EQ(tagged.applicationTitle, "Title playing");
}

TEST(PlayerLogic, PlayModeIndex) {
    EXPECT_EQ(playModeIndex("studio"), 1);
    EXPECT_EQ(playModeIndex("LIVE"), 2);
    EXPECT_EQ(playModeIndex(""), 0);
    EXPECT_EQ(playModeIndex("Party"), 0);
}
