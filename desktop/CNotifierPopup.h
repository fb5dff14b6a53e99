// Desktop integration: the sliding notifier pop-up, the auto-closing message box, the tray
// icon and the global hot keys. The windows belong to the GUI thread; only the hot-key worker
// thread runs callbacks elsewhere, and they must post to the GUI thread.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>

namespace ostrel::desktop {

// A small window that slides up from the bottom-right corner of the work area, shows one
// text for a few seconds, slides away and deletes itself. It never takes the focus.
class CNotifierPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTickMs = 20;       // one animation step
    static constexpr int kSlidePixels = 5;   // per step
    static constexpr int kRightMargin = 10;  // from the work area's right edge
    static constexpr int kDefaultDisplayMs = 3000;

    // Made with new and never deleted by the caller: the pop-up deletes itself once it has
    // slid away (or when shown with nothing to show).
    CNotifierPopup(int width, int height, bool fitToText);
    ~CNotifierPopup() override;

    // Creates, fills and shows one pop-up; returns it (it owns itself).
    static CNotifierPopup* notify(const QString& text, int width = 200, int height = 50,
                                  int seconds = 3, bool fitToText = false);

    void setText(const QString& text);
    void setDisplayTime(int seconds);
    // Takes its slot above the pop-ups already on screen and starts rising.
    void show();

    // Pop-ups on screen in this process.
    static int onScreenCount() { return onScreen_.load(); }
    // Tests run the animation faster: one step every `ms` real milliseconds, while each step
    // still counts as 20 ms of display time. The product never calls this.
    static void setTickIntervalForTesting(int ms) { tickIntervalMs_ = ms; }

    int fullHeight() const { return height_; }
    int visibleHeight() const { return visible_; }
    // The slot's bottom edge (fixed while the pop-up moves) and right edge.
    int slotBottom() const { return bottom_; }
    int slotRight() const { return right_; }
    bool falling() const { return falling_; }

signals:
    // Once nothing shows any more, just before the pop-up deletes itself, with the display
    // time that had passed.
    void slidAway(int elapsedMs);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    void place();
    int textHeight() const;

    int width_;
    int height_;
    bool fitToText_;
    QString text_;
    int displayMs_ = kDefaultDisplayMs;
    int elapsedMs_ = 0;
    int visible_ = 0;
    bool falling_ = false;
    bool counted_ = false;
    int bottom_ = 0;
    int right_ = 0;
    QTimer timer_;

    // GUI thread only; atomic so that a stray read from elsewhere is still defined.
    static std::atomic<int> onScreen_;
    static inline int tickIntervalMs_ = kTickMs;
};

}  // namespace ostrel::desktop
