// The frame a window manager puts around a top-level window, asked of the
// window manager before the window is first shown, so that the window can
// be placed by its outer size from the start.
#pragma once

#include <QMargins>
#include <memory>

class QWidget;

class TWindowFrameQuery {
public:
  // Asks what frame a window of the kind and size of `window` would get
  // and returns at once: the window manager answers in its own time.
  explicit TWindowFrameQuery(const QWidget *window);
  ~TWindowFrameQuery();
  TWindowFrameQuery(const TWindowFrameQuery &) = delete;
  TWindowFrameQuery &operator=(const TWindowFrameQuery &) = delete;

  // The answer, waited for a moment at most: nothing where no window
  // manager frames windows or the platform cannot tell before a window is
  // shown.
  QMargins Frame();

private:
  // A window of the same kind and size, unmapped, that the question is
  // about: a window the window manager has been asked about may no longer
  // move before it is shown (openbox keeps it where it was).
  std::unique_ptr<QWidget> Probe;
  unsigned ExtentsAtom = 0;
};
