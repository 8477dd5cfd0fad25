#include "player/playback_loop.h"

#include <exception>

#include "engine/platform/random.h"
#include "player/event_trace.h"
#include "player/folder_list.h"
#include "player/text_util.h"

namespace sonvale {

const char* PlayStateCaption(PlayState state) {
  switch (state) {
    case PlayState::NoTracks:
      return "No MP3 file";
    case PlayState::Stopped:
      return "Stopped";
    case PlayState::Playing:
      return "Playing";
    case PlayState::Paused:
      return "Paused";
    case PlayState::Failed:
      return "Cannot play";
  }
  return "";
}

PlaybackLoop::PlaybackLoop(MediaDevice& media, Clock& clock, LoopHooks& hooks)
    : media_(media),
      clock_(clock),
      hooks_(hooks),
      trackFailures_(clock, kRetryPauseMs),
      pictureFailures_(clock, kRetryPauseMs) {}

void PlaybackLoop::Create(const std::string& appFolder) {
  trackFolder_ = appFolder + kTrackFolderName;
  tracks_ = ListMatching(trackFolder_, ".mp3");
  progressMaximum_ = 0;
  pictureFolder_ = appFolder + kPictureFolderName;
  pictures_ = ListMatching(pictureFolder_, ".jpg");
  needMorePictures_ = pictures_.size() < static_cast<size_t>(kMinimumPictures);
  slideClock_ = 1;
  showSlideProgress_ = true;
  TraceEvent("found " + std::to_string(tracks_.size()) + " tracks in " + trackFolder_ + " and " +
             std::to_string(pictures_.size()) + " pictures in " + pictureFolder_);
}

void PlaybackLoop::Show() {
  if (shown_) return;
  shown_ = true;
  mp3Count_ = static_cast<int>(tracks_.size());
  if (mp3Count_ == 0) {
    state_ = PlayState::NoTracks;
    TraceEvent("error: no tracks in " + trackFolder_);
    hooks_.Report(kNoTracksMessage + trackFolder_, false);
  } else {
    PickRandomTrack();
    ResyncLyric();
    StartCurrentTrack();
  }
  // The count tells how many pictures there are, also when they are too few.
  pictureCountText_ = std::to_string(pictures_.size());
  if (needMorePictures_) {
    hooks_.OpenHelp();
    hooks_.Report(kNeedMorePicturesMessage + pictureFolder_, false);
  }
}

void PlaybackLoop::Tick() {
  if (progressMaximum_ != 0) progressPosition_ = media_.Position();

  // With no tracks at all, or while every track has failed, there is nothing to end or to pick.
  if (mp3Count_ > 0 && !trackFailures_.Resting() && media_.Position() >= progressMaximum_) {
    if (media_.IsOpen()) TraceEvent("track ended: " + Trim(currentTrack_));
    media_.Stop();
    media_.Close();
    state_ = PlayState::Stopped;
    PickRandomTrack();
    ResyncLyric();
    if (!StartCurrentTrack()) return;
  }

  if (slideClock_ < kSlideChangeMs) {
    slideClock_ += kTickMs;
    ++slideTicks_;
    slideBarPosition_ = showSlideProgress_ ? slideTicks_ : 0;
  } else {
    if (!ShowRandomPicture()) return;
    slideClock_ = 0;
    slideTicks_ = 0;
  }
}

void PlaybackLoop::PickRandomTrack() {
  if (mp3Count_ <= 0) return;
  currentTrack_ = tracks_[viz::platform::Random(static_cast<uint32_t>(mp3Count_))];
}

std::string PlaybackLoop::CurrentTrackPath() const {
  return Trim(trackFolder_) + Trim(currentTrack_);
}

void PlaybackLoop::OpenAndPlay() {
  media_.Close();
  const std::string path = CurrentTrackPath();
  media_.Open(path);
  progressMaximum_ = media_.Length();
  media_.Play();
  state_ = PlayState::Playing;
  TraceEvent("track opened: " + path + " length " + std::to_string(progressMaximum_) + " ms");
}

bool PlaybackLoop::PlayCurrentTrack() {
  if (mp3Count_ <= 0) return false;
  ResyncLyric();
  return StartCurrentTrack();
}

void PlaybackLoop::ResyncLyric() {
  if (hooks_.LyricEditorOpen()) return;
  try {
    hooks_.LyricResync(Trim(currentTrack_));
  } catch (const std::exception& error) {
    // The track is played all the same; only its lyric could not be shown.
    TraceEvent(std::string("error: ") + error.what());
    hooks_.Report(error.what(), true);
  }
}

void PlaybackLoop::Resume() {
  if (!media_.IsOpen()) return;
  media_.Play();
  state_ = PlayState::Playing;
}

void PlaybackLoop::Pause() {
  if (!media_.IsOpen()) return;
  media_.Stop();
  state_ = PlayState::Paused;
}

void PlaybackLoop::StopPlaying() {
  if (!media_.IsOpen()) return;
  media_.Stop();
  state_ = PlayState::Stopped;
}

bool PlaybackLoop::StartCurrentTrack() {
  try {
    hooks_.TagRefresh(CurrentTrackPath());
    OpenAndPlay();
  } catch (const std::exception& error) {
    TrackFailed(error.what());
    return false;
  }
  trackFailures_.Succeed();
  return true;
}

void PlaybackLoop::TrackFailed(const std::string& error) {
  // Nothing is open now; a maximum of 0 makes the next tick go on with the next pick.
  media_.Close();
  progressMaximum_ = 0;
  progressPosition_ = 0;
  state_ = PlayState::Failed;
  TraceEvent("error: " + error);
  const FailureTracker::Outcome outcome = trackFailures_.Fail(Trim(currentTrack_), tracks_.size());
  if (outcome.reportFile) hooks_.Report(error, true);
  if (outcome.reportAllFailed) hooks_.Report(kNoTrackPlaysMessage + trackFolder_, true);
}

bool PlaybackLoop::ShowRandomPicture() {
  // With no pictures, or while every picture has failed, the built-in or last picture stays.
  if (pictures_.empty() || pictureFailures_.Resting()) return true;
  currentPicture_ = pictures_[viz::platform::Random(static_cast<uint32_t>(pictures_.size()))];
  const std::string path = pictureFolder_ + currentPicture_;
  try {
    hooks_.ShowPicture(path);
  } catch (const std::exception& error) {
    const std::string failed = currentPicture_;
    // The area still shows the picture before; so does its caption.
    currentPicture_ = shownPicture_;
    PictureFailed(failed, error.what());
    return false;
  }
  shownPicture_ = currentPicture_;
  pictureFailures_.Succeed();
  TraceEvent("picture shown: " + path);
  return true;
}

void PlaybackLoop::PictureFailed(const std::string& name, const std::string& error) {
  TraceEvent("error: " + error);
  const FailureTracker::Outcome outcome = pictureFailures_.Fail(name, pictures_.size());
  if (outcome.reportFile) hooks_.Report(error, true);
  if (outcome.reportAllFailed) hooks_.Report(kNoPictureLoadsMessage + pictureFolder_, true);
}

}  // namespace sonvale
