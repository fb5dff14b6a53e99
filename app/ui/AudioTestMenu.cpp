#include "app/ui/AudioTestMenu.h"

#include "app/ui/COstrelDlg.h"
#include "app/ui/WindowNotices.h"
#include "audio/test/ui/CMicTestDlg.h"

namespace ostrel::app {

namespace {

audio::MainWindowVolume volume(const COstrelDlg& window, COstrelDlg::Volume which) {
    const COstrelDlg::VolumeLine line = window.volumeLine(which);
    return {line.slider, line.link, line.control};
}

}  // namespace

void hostAudioTest(COstrelDlg& window) {
    window.setMenuHandler(COstrelDlg::MenuEntry::TestAudioSettings,
                          [&window] { runAudioTest(window); });
}

void runAudioTest(COstrelDlg& window) {
    if (window.isCallActive()) {
        window.notices().box(QString::fromLatin1(kNoTestInCall));
        return;
    }
    audio::MainWindowVolumes volumes;
    volumes.master = volume(window, COstrelDlg::Volume::Master);
    volumes.wave = volume(window, COstrelDlg::Volume::Speaker);
    volumes.microphone = volume(window, COstrelDlg::Volume::Microphone);
    audio::CMicTestDlg dialog(volumes, &window);
    dialog.exec();
}

}  // namespace ostrel::app
