// The player's loop without any widgets: the start-up scan of the two media folders, the random
// picks, playing one track, and the 100 ms tick that ends tracks and turns the slideshow.
//
// Track life: nothing open → (show step) open and playing → position ≥ length at a tick: stopped and
// closed, next pick opened and playing → … A track that cannot be opened leaves the progress maximum
// at 0, so the next tick picks again instead of waiting on a device that has nothing open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/failure_tracker.h"
#include "player/media_device.h"

namespace sonvale {

inline constexpr const char* kTrackFolderName = "MarvoyMP3/";
inline constexpr const char* kPictureFolderName = "MarvoyJPG/";
inline constexpr const char* kInitialTrackCaption = "File *.MP3 Name";
inline constexpr const char* kInitialPictureCaption = "File *.JPG Name";
inline constexpr const char* kNeedMorePicturesMessage = "Need more JPG file in the directory: ";
inline constexpr const char* kNoTracksMessage = "There is no MP3 file to play in the directory: ";
inline constexpr const char* kNoTrackPlaysMessage =
    "None of the MP3 files can be played; the player tries them again every minute. Directory: ";
inline constexpr const char* kNoPictureLoadsMessage =
    "None of the JPG files can be shown; the player tries them again every minute. Directory: ";

//! What the track side is doing, shown as the caption above the track name.
enum class PlayState {
  NoTracks,  //!< the track folder holds no MP3 file
  Stopped,   //!< nothing plays: before the first track, or stopped by the user
  Playing,
  Paused,
  Failed,  //!< the current track could not be played
};

//! The caption above the track name for `state`.
const char* PlayStateCaption(PlayState state);

inline constexpr int kTickMs = 100;
inline constexpr int kSlideChangeMs = 5000;
inline constexpr int kSlideBarMaximum = 50;
inline constexpr int kMinimumPictures = 3;
//! How long a list whose files all failed rests before it is tried again.
inline constexpr int64_t kRetryPauseMs = 60000;

//! What the loop needs from the window around it.
class LoopHooks {
 public:
  virtual ~LoopHooks() = default;
  //! Returns true while the lyric editor is open; the lyric then stays as the user has it.
  virtual bool LyricEditorOpen() = 0;
  //! Makes the lyric shown match the (trimmed) track name.
  virtual void LyricResync(const std::string& trackName) = 0;
  //! Shows the tag of the file at `path`; throws when the file cannot be read.
  virtual void TagRefresh(const std::string& path) = 0;
  //! Loads and shows the picture at `path`; throws when it cannot be loaded.
  virtual void ShowPicture(const std::string& path) = 0;
  //! Opens the help panel.
  virtual void OpenHelp() = 0;
  //! Tells the user `message` (an error when `isError`). Must not run the loop re-entrantly.
  virtual void Report(const std::string& message, bool isError) = 0;
};

class PlaybackLoop {
 public:
  PlaybackLoop(MediaDevice& media, Clock& clock, LoopHooks& hooks);

  //! Window creation: lists the track and picture folders below `appFolder` (which ends with '/').
  void Create(const std::string& appFolder);
  //! First show of the window: counts the tracks, picks and plays the first track, and checks the pictures.
  void Show();
  //! One timer tick: track progress, end of track, slideshow.
  void Tick();

  //! Picks a random track into the current track caption (nothing when there are no tracks).
  void PickRandomTrack();
  //! Starts the current track as every other path does: lyric re-sync (unless the editor is open),
  //! tag refresh, then close, open and play. Returns false (after reporting) when the track cannot be
  //! played.
  bool PlayCurrentTrack();
  //! The media control's buttons: resume (when a track is open), pause and stop.
  void Resume();
  void Pause();
  void StopPlaying();
  //! Picks a random picture and shows it. Returns false (after reporting) when it cannot be loaded.
  bool ShowRandomPicture();
  //! Switches the slideshow bar on or off; pictures keep changing either way.
  void ToggleSlideProgress() { showSlideProgress_ = !showSlideProgress_; }

  const std::string& TrackFolder() const { return trackFolder_; }
  const std::string& PictureFolder() const { return pictureFolder_; }
  const std::vector<std::string>& Tracks() const { return tracks_; }
  const std::vector<std::string>& Pictures() const { return pictures_; }
  //! Caption of the current track ("File *.MP3 Name" before the first pick).
  const std::string& CurrentTrack() const { return currentTrack_; }
  //! Caption of the current picture ("File *.JPG Name" before the first change).
  const std::string& CurrentPicture() const { return currentPicture_; }
  int Mp3Count() const { return mp3Count_; }
  //! Caption of the picture count label: "0" until the show step, then the number of pictures.
  const std::string& PictureCountText() const { return pictureCountText_; }
  int64_t ProgressMaximum() const { return progressMaximum_; }
  int64_t ProgressPosition() const { return progressPosition_; }
  int SlideClock() const { return slideClock_; }
  int SlideTicks() const { return slideTicks_; }
  int SlideBarPosition() const { return slideBarPosition_; }
  bool ShowSlideProgress() const { return showSlideProgress_; }
  bool NeedMorePictures() const { return needMorePictures_; }
  PlayState State() const { return state_; }
  //! Full path of the current track as it is opened and tag-read.
  std::string CurrentTrackPath() const;

 private:
  // Lyric re-sync unless the editor is open; a failure is reported and the track plays all the same.
  void ResyncLyric();
  // Tag refresh and play of the current track; false after a failure.
  bool StartCurrentTrack();
  void OpenAndPlay();
  void TrackFailed(const std::string& error);
  void PictureFailed(const std::string& name, const std::string& error);

  MediaDevice& media_;
  Clock& clock_;
  LoopHooks& hooks_;
  FailureTracker trackFailures_;
  FailureTracker pictureFailures_;

  std::string trackFolder_;
  std::string pictureFolder_;
  std::vector<std::string> tracks_;
  std::vector<std::string> pictures_;
  std::string currentTrack_ = kInitialTrackCaption;
  std::string currentPicture_ = kInitialPictureCaption;
  std::string shownPicture_ = kInitialPictureCaption;  // the picture the area shows now
  std::string pictureCountText_ = "0";
  int mp3Count_ = 0;
  int64_t progressMaximum_ = 0;
  int64_t progressPosition_ = 0;
  int slideClock_ = 0;
  int slideTicks_ = 0;
  int slideBarPosition_ = 0;
  bool showSlideProgress_ = true;
  bool needMorePictures_ = false;
  bool shown_ = false;
  PlayState state_ = PlayState::Stopped;
};

}  // namespace sonvale
