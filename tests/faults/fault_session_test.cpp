// Seeded sessions of user actions and line faults against the simulated camera in virtual time.
// FOTOLYX_FAULT_SESSIONS=N runs N sessions, FOTOLYX_FAULT_SEED=S replays S with its story.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <sstream>

#include "camera_index/decoded_bmp.h"
#include "camsim/picture_maker.h"
#include "imaging/bmp_file.h"
#include "imaging/colour_treatment.h"
#include "imaging/jpeg_codec.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "upload/picture_upload.h"
#include "windows/live_image_window.h"

namespace fotolyx::testing {

// A bad cable: it hits the first byte of a camera message or the next byte the program writes.
class FaultyLine final : public SerialLine {
  public:
    explicit FaultyLine(SimulatedLine& inner) : inner_(inner) {}

    enum class CameraFault { None, DropFirstByte, GarbleFirstByte, RepeatMessage, NakStorm };
    enum class PcFault { None, LoseByte, GarbleByte };
    CameraFault nextMessage = CameraFault::None;
    std::uint8_t garbleValue = camsim::GARBLED_BYTE;
    int nakCount = 0;
    PcFault nextWrite = PcFault::None;
    std::function<void()> renotify;  // asks the host to call the receiver again

    LineOpenResult Open(int portId) override {
        pending_.clear();
        atMessageStart_ = true;
        message_.clear();
        return inner_.Open(portId);
    }
    void Close() override {
        pending_.clear();
        inner_.Close();
    }
    bool IsOpen() const override { return inner_.IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override {
        if (repeating_ && !message_.empty()) {  // the last message again, as the program answers
            pending_.insert(pending_.end(), message_.begin(), message_.end());
            repeating_ = false;
            renotify();
        }
        atMessageStart_ = true;
        for (std::uint8_t byte : bytes) {
            const PcFault fault = std::exchange(nextWrite, PcFault::None);
            byte = fault == PcFault::GarbleByte ? camsim::GARBLED_BYTE : byte;
            if (fault != PcFault::LoseByte) {
                inner_.Write({&byte, 1});
            }
        }
    }
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        std::array<std::uint8_t, PACKET_LENGTH> fresh{};
        const std::size_t count =
            inner_.Read(std::span(fresh).first(std::min(buffer.size(), fresh.size())));
        for (std::uint8_t byte : std::span(fresh).first(count)) {
            CameraFault fault = CameraFault::None;
            if (std::exchange(atMessageStart_, false)) {
                message_.clear();
                fault = std::exchange(nextMessage, CameraFault::None);
            }
            if (fault == CameraFault::DropFirstByte) {
                continue;
            }
            byte = fault == CameraFault::GarbleFirstByte ? garbleValue : byte;
            repeating_ = repeating_ || fault == CameraFault::RepeatMessage;
            if (fault == CameraFault::NakStorm) {
                pending_.insert(pending_.end(), static_cast<std::size_t>(nakCount), NAK);
            }
            message_.push_back(byte);
            pending_.push_back(byte);
        }
        const std::size_t given = std::min(buffer.size(), pending_.size());
        std::copy_n(pending_.begin(), given, buffer.begin());
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(given));
        if (!pending_.empty()) {
            renotify();
        }
        return given;
    }
    bool SetBaudRate(std::uint32_t baud) override { return inner_.SetBaudRate(baud); }
    void Purge() override {
        pending_.clear();
        inner_.Purge();
    }

  private:
    SimulatedLine& inner_;
    std::deque<std::uint8_t> pending_;
    bool atMessageStart_ = true;
    std::vector<std::uint8_t> message_;
    bool repeating_ = false;
};

namespace {

constexpr int SETTLE_LIMIT_MS = 120'000;
constexpr std::uint8_t TREATMENT_LEVELS = 6;
constexpr Micros ADAPTER_LATENCY = 16 * MS;
constexpr Micros LOW_LATENCY = 1 * MS;
constexpr unsigned MAX_JITTER_US = 400;
// READY after a speed request: sooner than the PC changes its own speed, usual, slow.
constexpr Micros READY_DELAYS[] = {20 * MS, 100 * MS, 100 * MS, 400 * MS};

// Small pictures of sizes no upload has, some needing row padding. Made once.
const std::vector<camsim::SimPicture>& PicturePool() {
    static const std::vector<camsim::SimPicture> pool = [] {
        const std::pair<std::uint16_t, std::uint16_t> sizes[] = {{64, 48}, {50, 38}, {96, 72},
                                                                 {36, 28}, {80, 60}, {42, 30}};
        const camsim::SimPicture sample = camsim::MakeSamplePictures(1)[0];
        std::vector<camsim::SimPicture> pictures;
        for (const auto& [width, height] : sizes) {
            const int seed = static_cast<int>(pictures.size());
            camsim::SimPicture picture = sample;
            picture.width = width;
            picture.height = height;
            picture.jpeg = camsim::MakeSceneJpeg(width, height, seed, 80);
            picture.thumbnail = camsim::MakeSceneJpeg(80, 60, seed, 60);
            picture.date.minute = seed;
            pictures.push_back(std::move(picture));
        }
        return pictures;
    }();
    return pool;
}

// Questions the user is asked, and the reports of a camera that answers wrongly or is full.
bool DocumentedMessage(const ShownMessage& message) {
    const std::pair<std::string_view, std::string_view> documented[] = {
        {CAPTION_ERROR, TEXT_FILE_SIZE_WRONG},     {CAPTION_ERROR, TEXT_FILE_TYPE_WRONG},
        {CAPTION_VISTACAM_INFO, TEXT_NO_IMAGES},   {CAPTION_DELETE_PAGE, TEXT_DELETE_PAGE},
        {CAPTION_DELETE_ALL, TEXT_DELETE_ALL},     {CAPTION_RELOAD, TEXT_RELOAD},
        {CAPTION_VISTACAM_INFO, TEXT_MEMORY_FULL}, {CAPTION_CONNECT_ERROR, TEXT_MINIMUM_SPEED},
        {CAPTION_WARNING, TEXT_WRONG_MODEL},       {CAPTION_WARNING, TEXT_VCR_MODE},
        {CAPTION_WARNING, TEXT_NO_CARD},           {CAPTION_VISTACAM_INFO, TEXT_INDEX_FULL},
    };
    const auto shown = std::pair<std::string_view, std::string_view>(message.caption, message.text);
    // Else only the save question of a Capture window closed unsaved.
    return std::find(std::begin(documented), std::end(documented), shown) != std::end(documented) ||
           (message.caption == CAPTION_FOTOLYX && (message.style & MB_YESNO) == MB_YESNO);
}

std::uint64_t EnvironmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == 0 ? fallback : std::strtoull(text, nullptr, 10);
}

// Each link dialog's first button is pressed with the given chance, else its second.
struct LinkDialogButtons {
    LinkDialog dialog;
    int firstChance;
    const char* firstNote;
    void (LinkSetup::*first)();
    const char* secondNote;
    void (LinkSetup::*second)();
};

constexpr LinkDialogButtons LINK_DIALOG_BUTTONS[] = {
    {LinkDialog::ComCancelOk, 50, "COM_CANCELOK: OK", &LinkSetup::CancelOkOk,
     "COM_CANCELOK: Cancel", &LinkSetup::CancelOkCancel},
    {LinkDialog::ComDisconnect, 80, "COM_DISCONNECT: Reconnect", &LinkSetup::DisconnectReconnect,
     "COM_DISCONNECT: Cancel", &LinkSetup::DisconnectCancel},
    {LinkDialog::ComReconnect, 85, "COM_RECONNECT: Retry", &LinkSetup::ReconnectRetry,
     "COM_RECONNECT: Cancel", &LinkSetup::ReconnectCancel},
};

}  // namespace

// The user's moves on the Preview by their pick of 20: pictures clicked first or not, the current
// one sometimes Ctrl-clicked off again, a chance in percent (100: no draw).
struct PreviewAction {
    unsigned first;
    unsigned last;
    bool selects;
    bool deselects;
    unsigned chance;
    const char* note;
    int command;
};

// clang-format off
constexpr PreviewAction PREVIEW_ACTIONS[] = {
    {0,  3,  true,  true,  100, "Data in from camera", CMD_DATA_IN},
    {4,  6,  true,  false, 100, "Save...",             CMD_SAVE_AS},
    {10, 11, true,  true,  100, "Delete Page",         CMD_DELETE_PAGE},
    {12, 12, false, false, 30,  "Delete All",          CMD_DELETE_ALL},
    {18, 18, false, false, 100, "Reload",              CMD_RELOAD},
};
// clang-format on

// One session: a camera with a few pictures, random user actions and line faults, then a time in
// which nobody acts. Failures go through GoogleTest with the seed in the trace.
class FaultSession {
  public:
    explicit FaultSession(std::uint64_t seed)
        : random_(seed),
          situations_(seed ^ 0x9E37'79B9'7F4A'7C15ULL),
          shell_(std::make_unique<Shell>(*this)),
          environment_(FolderEnvironment(root_)) {
        std::filesystem::create_directory(root_ / "expected");
    }

    void Run() {
        // The camera: pictures of the pool with random treatments, and the speeds it manages.
        std::vector<camsim::SimPicture> pictures;
        const unsigned count = 1 + Pick(4);
        for (unsigned i = 0; i < count; ++i) {
            pictures.push_back(PicturePool()[Pick(static_cast<unsigned>(PicturePool().size()))]);
            pictures.back().attribute = static_cast<std::uint8_t>((Pick(6) << 4) | Pick(2));
        }
        if (Chance(15)) {
            config_.speeds = {BAUD_57600, BAUD_19200};
        }
        if (SituationChance(20)) {
            config_.modelCode = "318";  // the narrow camera
        }
        if (SituationChance(10)) {  // a picture that cannot be decoded
            pictures[PickSituation(static_cast<unsigned>(pictures.size()))].jpeg.assign(600, 0x11);
        }
        if (SituationChance(2)) {
            // A full index (thumbnails too small to decode, for speed): uploads are refused.
            camsim::SimPicture picture = pictures.front();
            picture.thumbnail.clear();
            pictures.assign(INDEX_POSITIONS, picture);
        }
        config_.speedAnswerDelay =
            READY_DELAYS[PickSituation(static_cast<unsigned>(std::size(READY_DELAYS)))];
        if (SituationChance(15)) {
            config_.fallBackAfterSilence = (300 + PickSituation(4'000)) * MS;
        }
        // The line: an adapter that may or may not take the low-latency request, and jitter.
        cameraLine_.options.seed = situations_();
        if (SituationChance(30)) {
            cameraLine_.options.adapterLatency =
                SituationChance(60) ? ADAPTER_LATENCY : LOW_LATENCY;
        }
        if (SituationChance(25)) {
            cameraLine_.options.jitter = 1 + PickSituation(MAX_JITTER_US);
        }
        Note("camera: READY after " + std::to_string(config_.speedAnswerDelay / MS) + " ms");
        AttachCamera(std::move(pictures));
        if (SituationChance(10)) {  // the third message, the mode answer, lost or garbled
            const bool lost = SituationChance(50);
            (lost ? Camera().Faults().silentAfterMessages : Camera().Faults().garbleMessage) = 2;
            Note(lost ? "fault: the mode answer lost" : "fault: the mode answer garbled");
        }
        if (Chance(15)) {
            InjectFault();  // while the link is being set up
        }
        StartProgram();
        loop_.RunUntil(
            [&] { return program_->indexTransfer.index.IndexLoaded || LinkDialogOpen(); }, 30'000);

        const unsigned steps = 4 + Pick(9);
        for (unsigned step = 0; step < steps; ++step) {
            if (Chance(35)) {
                InjectFault();
            }
            Act();
            RememberPictures();
            // Time for the action and the fault to meet: a short while, or until it is all over.
            if (Chance(50)) {
                loop_.RunFor(static_cast<int>(Pick(3'000)));
            } else {
                loop_.RunUntil([&] { return Settled(); }, 60'000);
            }
            RememberPictures();
        }

        // The user lets a live view end; then nobody acts and the line behaves. A transfer that
        // goes on retrying: the user gives up waiting and cancels what can be, up to five times.
        if (program_->live.LiveViewRunning != 0) {
            Note("live view stopped at the end");
            program_->liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        }
        bool settled = loop_.RunUntil([&] { return Settled(); }, SETTLE_LIMIT_MS);
        for (int attempt = 0; !settled && attempt < 5; ++attempt) {
            GiveUpWaiting();
            settled = loop_.RunUntil([&] { return Settled(); }, SETTLE_LIMIT_MS);
        }
        RememberPictures();
        const Program& p = *program_;
        EXPECT_TRUE(settled) << "not settled: SetupPhase " << int{p.link.SetupPhase}
                             << ", TransferMode " << int{p.link.TransferMode} << ", live "
                             << int{p.live.LiveViewRunning} << "/" << int{p.live.LivePhotoRunning}
                             << ", please-wait dialogs " << shell_->openPleaseWaits.size();
        CheckEnd();
    }

    // What the session did, one line per step.
    const std::vector<std::string>& Story() const { return story_; }

  private:
    // Save answers made up on the spot; the open dialogs tracked.
    class Shell final : public RecordingShell {
      public:
        explicit Shell(FaultSession& session) : session_(session) {}

        int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
            session_.Note("message box " + std::string(caption) + ": " + std::string(text));
            return RecordingShell::MessageBox(text, caption, style);
        }
        std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override {
            saveRequests.push_back(request);
            if (session_.Chance(15)) {
                session_.Note("save dialog cancelled");
                return std::nullopt;
            }
            static constexpr int FILTERS[] = {SAVE_FILTER_JPEG, SAVE_FILTER_FULL_COLOUR_BMP,
                                              SAVE_FILTER_FULL_COLOUR_BMP,
                                              SAVE_FILTER_256_COLOUR_BMP};
            const int filter = FILTERS[session_.Pick(4)];
            const std::string name = "saved-" + std::to_string(session_.saves_++) +
                                     (filter == SAVE_FILTER_JPEG ? ".jpg" : ".bmp");
            answered.push_back({(session_.root_ / name).string(), filter});
            session_.Note("saved as " + answered.back().path);
            return answered.back();
        }
        void ShowLinkDialog(LinkDialog dialog) override {
            session_.Note("link dialog " + std::to_string(static_cast<int>(dialog)) + " shown");
            openLinkDialogs.insert(dialog);
            RecordingShell::ShowLinkDialog(dialog);
        }
        void EndLinkDialog(LinkDialog dialog) override {
            openLinkDialogs.erase(dialog);
            RecordingShell::EndLinkDialog(dialog);
        }
        void ShowPleaseWait(PleaseWait dialog) override {
            openPleaseWaits.insert(dialog);
            RecordingShell::ShowPleaseWait(dialog);
        }
        void EndPleaseWait(PleaseWait dialog) override {
            openPleaseWaits.erase(dialog);
            RecordingShell::EndPleaseWait(dialog);
        }

        std::vector<SaveDialogResult> answered;
        std::set<LinkDialog> openLinkDialogs;
        std::set<PleaseWait> openPleaseWaits;

      private:
        FaultSession& session_;
    };

    unsigned Pick(unsigned count) {
        return count == 0 ? 0 : static_cast<unsigned>(random_() % count);
    }
    bool Chance(unsigned percent) { return Pick(100) < percent; }
    // Situations added later draw from their own stream, so that every seed's other draws stay.
    unsigned PickSituation(unsigned count) {
        return count == 0 ? 0 : static_cast<unsigned>(situations_() % count);
    }
    bool SituationChance(unsigned percent) { return PickSituation(100) < percent; }
    void Note(const std::string& text) {
        story_.push_back(std::to_string(loop_.Now() / MS) + " ms: " + text);
    }

    camsim::SimCamera& Camera() { return *cameras_.back(); }
    void AttachCamera(std::vector<camsim::SimPicture> pictures) {
        camsim::CameraConfig config = config_;
        config.pictures = std::move(pictures);
        cameras_.push_back(std::make_unique<camsim::SimCamera>(std::move(config)));
        cameraLine_.Attach(PORT_COM1, *cameras_.back());
        RememberPictures();
    }
    static bool SamePicture(const camsim::SimPicture& a, const camsim::SimPicture& b) {
        return a.attribute == b.attribute && a.jpeg == b.jpeg;
    }
    void RememberPictures() {
        for (const camsim::SimPicture& picture : Camera().Pictures()) {
            if (std::none_of(pictures_.begin(), pictures_.end(),
                             [&](const auto& known) { return SamePicture(known, picture); })) {
                pictures_.push_back(picture);
            }
        }
    }
    void StartProgram() {
        program_ = std::make_unique<Program>(
            Ports{*shell_, loop_, line_, clock_, memory_, freeSpace_}, environment_);
        loop_.onTimer = [this](WindowId window, int id) { program_->TimerFired(window, id); };
        cameraLine_.onReadable = [this] { program_->receiver.OnReadable(); };
        cameraLine_.onHangUp = [this] { program_->receiver.OnHangUp(); };
        line_.renotify = [this] {
            loop_.AtOnce(&line_, 0, loop_.Now(), [this] {
                if (program_->receiver.Watching()) {
                    program_->receiver.OnReadable();
                }
            });
        };
        shell_->onInvalidate =
            loop_.PaintWhenHandlerDone([this](WindowId window) { program_->PaintWindow(window); });
        program_->Startup();
    }

    bool LinkDialogOpen() const { return !shell_->openLinkDialogs.empty(); }
    // Until the index has arrived or a file is opened the MDI client is disabled: the user cannot
    // click in the Preview, Capture or Live image windows.
    bool ChildWindowsEnabled() const {
        return !shell_->mdiClientStates.empty() && shell_->mdiClientStates.back();
    }
    // A transfer or the set-up is under way: the user waits (or cancels what may be cancelled).
    bool Busy() const {
        const Program& p = *program_;
        bool setupRunning = false;
        for (int timer = 1; timer <= 4; ++timer) {
            setupRunning = setupRunning || loop_.TimerRunning(FRAME_WINDOW, timer);
        }
        return (p.link.SetupPhase != 0 && setupRunning) ||
               p.indexTransfer.index.IndexTransferActive ||
               p.pictureDownload.download.CaptureWaiting ||
               loop_.TimerRunning(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD) ||
               p.live.LiveViewRunning != 0 || p.live.LivePhotoRunning != 0 ||
               !shell_->openPleaseWaits.empty();
    }
    // A wait dialog that stays until the user closes it: the deletion's when the camera never
    // reports it done, the upload's when the camera never answers or falls silent between files.
    bool WaitDialogStays() const {
        const Program& p = *program_;
        const auto& open = shell_->openPleaseWaits;
        if (open.size() != 1 || p.pictureDownload.download.CaptureWaiting) {
            return false;
        }
        return open.count(PleaseWait::PeraseProc) != 0 ||
               (p.link.TransferMode == TRANSFER_UPLOAD && p.upload.UploadPacketNumber == 0);
    }
    // The documented resting states: a link dialog waiting for the user, a wait dialog that stays,
    // a link the user gave up (confirmed COM_CANCELOK), or nothing pending.
    bool Settled() const {
        return LinkDialogOpen() || WaitDialogStays() || program_->link.CancelConfirmed != 0 ||
               !Busy();
    }

    void InjectFault() {
        camsim::CameraFaults& faults = Camera().Faults();
        const std::uint32_t sent = Camera().MessagesSent();
        using CameraFault = FaultyLine::CameraFault;
        switch (Pick(19)) {
            case 0:
                faults.silentAfterMessages = sent + Pick(20);
                return Note("fault: the camera falls silent");
            case 1:
                faults.garbleMessage = sent + Pick(30);
                faults.garbleCount = 1 + Pick(14);
                return Note("fault: garbled messages");
            case 2:
                faults.dropByteMessage = sent + Pick(30);
                return Note("fault: a message loses its last byte");
            case 3:
                faults.wrongSequenceMessage = sent + Pick(30);
                return Note("fault: a wrong sequence number");
            case 4:
                faults.nakAnswers = 1 + Pick(15);
                return Note("fault: NAK answers to an upload");
            case 5:
                faults.badTrailerStatus = 1 + Pick(3);
                return Note("fault: status packets with a wrong trailer");
            case 6:
                line_.nextMessage = CameraFault::DropFirstByte;
                return Note("fault: the first byte of a message lost");
            case 7:
                line_.nextMessage = CameraFault::GarbleFirstByte;
                line_.garbleValue = static_cast<std::uint8_t>(Pick(256));
                return Note("fault: the first byte of a message garbled");
            case 8:
                line_.nextMessage = CameraFault::RepeatMessage;
                return Note("fault: a message duplicated");
            case 9:
                line_.nextMessage = CameraFault::NakStorm;
                line_.nakCount = 1 + static_cast<int>(Pick(40));
                return Note("fault: a NAK storm");
            case 10:
                line_.nextWrite =
                    Chance(50) ? FaultyLine::PcFault::LoseByte : FaultyLine::PcFault::GarbleByte;
                return Note("fault: a byte of the program lost or garbled");
            case 11:
                if (Chance(30)) {
                    cameraLine_.PullCable(PORT_COM1);
                    return Note("fault: the cable pulled");
                }
                faults.hangUpAfterMessages = sent + Pick(40);
                return Note("fault: the cable pulled a little later");
            case 12:
                cameraLine_.SetBaudRate(
                    std::array{BAUD_9600, BAUD_19200, BAUD_57600, BAUD_115200}[Pick(4)]);
                return Note("fault: the line's speed changed under the program");
            case 13:
                cameraLine_.options.adapterLatency = Chance(70) ? ADAPTER_LATENCY : LOW_LATENCY;
                return Note("fault: the adapter hands bytes over in bursts");
            case 14: {
                const Micros after = (300 + Pick(4'000)) * MS;
                Camera().FallBackAfterSilence(after);
                return Note("fault: the camera falls back to 9600 after " +
                            std::to_string(after / MS) + " ms of silence");
            }
            case 15:
                cameraLine_.options.jitter = 1 + Pick(MAX_JITTER_US);
                return Note("fault: bytes leave with jitter");
            case 16:
                faults.noiseBeforeMessage = sent + Pick(30);
                faults.noiseBytes = 1 + Pick(40);
                return Note("fault: noise on the line before a message");
            default: {
                const bool pulled = Camera().CablePulled();
                AttachCamera(Camera().Pictures());
                if (pulled) {
                    Camera().PullCable();
                }
                return Note("fault: the camera was reset");
            }
        }
    }
    void Act() {
        if (LinkDialogOpen()) {
            for (const LinkDialogButtons& buttons : LINK_DIALOG_BUTTONS) {
                if (shell_->openLinkDialogs.count(buttons.dialog) == 0) {
                    continue;
                }
                if (buttons.dialog == LinkDialog::ComReconnect &&
                    (Camera().CablePulled() || Chance(30))) {
                    Note("the cable plugged in again (a fresh camera)");
                    AttachCamera(Camera().Pictures());
                }
                const bool first = Chance(buttons.firstChance);
                Note(first ? buttons.firstNote : buttons.secondNote);
                return (program_->linkSetup.*(first ? buttons.first : buttons.second))();
            }
            return;
        }
        return Busy() ? ActWhileBusy() : ActWhenIdle();
    }
    void ActWhileBusy() {
        Program& p = *program_;
        if (p.pictureDownload.download.CaptureWaiting &&
            p.pleaseWait.Current() == PleaseWait::DataTrans && Chance(10)) {
            Note("DATA_TRANS closed");
            return CloseWaitDialog(PleaseWait::DataTrans);
        }
        if (WaitDialogStays() && p.link.TransferMode != TRANSFER_UPLOAD && Chance(50)) {
            Note("a wait dialog that stays closed with Esc");
            return CloseWaitDialog(*shell_->openPleaseWaits.begin());
        }
        if (p.live.LiveViewRunning != 0 && p.live.LivePhotoRunning == 0 && ChildWindowsEnabled()) {
            if (Chance(50)) {
                Note("live view stopped");
                p.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
            } else if (Chance(10)) {
                Note("photo during live view");
                LivePhoto();
            }
        }
    }
    void ActWhenIdle() {
        Program& p = *program_;
        // A deletion or an upload whose wait dialog the user closed: the camera may still be in
        // the middle of it; only a Reload (or, for an upload, a new upload) makes sense.
        if (p.indexTransfer.index.DeleteSession) {
            Note("Reload after an abandoned deletion");
            return p.previewWindow.Command(CMD_RELOAD);
        }
        if (p.link.TransferMode == TRANSFER_UPLOAD) {
            if (Chance(50)) {
                Note("Reload after an abandoned upload");
                return p.previewWindow.Command(CMD_RELOAD);
            }
            Note("upload again");
            return StartUpload(Chance(50));
        }
        const unsigned action = Pick(20);
        if (!ChildWindowsEnabled() && action != 13 && action != 14) {
            return;  // only File Open (the uploads start with it) works; the user waits
        }
        for (const PreviewAction& row : PREVIEW_ACTIONS) {
            if (action < row.first || action > row.last) {
                continue;
            }
            if (row.selects ? SelectSome() : row.chance == 100 || Chance(row.chance)) {
                if (row.deselects) {
                    DeselectCurrentSometimes();
                }
                Note(row.note);
                p.previewWindow.Command(row.command);
            }
            return;
        }
        const std::vector<WindowId> captures = p.captureWindows.Ids();
        if (action >= 7 && action <= 9 && !captures.empty()) {
            const WindowId window = captures[Pick(static_cast<unsigned>(captures.size()))];
            Note(action == 9 ? "a Capture window closed" : "Save As of a Capture window");
            return action == 9 ? p.captureWindows.CloseWindow(window)
                               : p.captureWindows.Find(window)->Command(CMD_SAVE_AS);
        }
        if (action == 13 || action == 14) {
            Note(action == 13 ? "upload, Fine" : "upload, Normal");
            return StartUpload(action == 13);
        }
        if (action == 15 || action == 16) {
            Note("live view");
            return p.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        }
        if (action == 17 && Chance(40)) {
            Note("live photo");
            LivePhoto();
        }
    }
    void LivePhoto() {
        program_->liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, true);
        program_->liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, false);
    }
    void CloseWaitDialog(PleaseWait dialog) {
        shell_->EndPleaseWait(dialog);
        program_->pictureDownload.PleaseWaitClosed(dialog);
    }
    void GiveUpWaiting() {
        Program& p = *program_;
        Note("the user gives up waiting");
        for (const PleaseWait dialog : std::set<PleaseWait>(shell_->openPleaseWaits)) {
            CloseWaitDialog(dialog);
        }
        if (!ChildWindowsEnabled()) {
            return;
        }
        if (p.live.LivePhotoRunning != 0) {
            p.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, true);  // Cancel
        }
        if (p.live.LiveViewRunning != 0) {
            p.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        }
    }
    void ClickPicture(unsigned position, unsigned keys) {
        const int row = static_cast<int>(position / 4);
        program_->previewWindow.VScroll(SB_THUMBTRACK, row);
        const int topRow = program_->indexTransfer.selection.TopRow;
        program_->previewWindow.LButtonDown(10 + 140 * static_cast<int>(position % 4) + 60,
                                            60 + 130 * (row - topRow) + 45, keys);
    }
    bool SelectSome() {
        const unsigned count = program_->indexTransfer.index.receivedCount;
        if (count == 0) {
            return false;
        }
        ClickPicture(Pick(count), 0);
        if (Chance(35)) {
            ClickPicture(Pick(count), Chance(50) ? MK_SHIFT : MK_CONTROL);
        }
        return true;
    }
    // The current picture Ctrl-clicked off again (it stays marked when it is the only one).
    void DeselectCurrentSometimes() {
        const std::int16_t current = program_->indexTransfer.selection.CurrentPicture;
        if (current < 0 || current >= static_cast<std::int16_t>(INDEX_POSITIONS) ||
            !SituationChance(30)) {
            return;
        }
        Note("the current picture deselected");
        ClickPicture(static_cast<unsigned>(current), MK_CONTROL);
    }
    // An opened flat picture, so that the upload stays short.
    void StartUpload(bool fine) {
        Program& p = *program_;
        std::optional<DibBlock> picture = CreateDib(640, 480, 24);
        if (!picture || !p.buffers.WorkImage) {
            return;
        }
        auto pixels = picture->bytes().subspan(DibBitsOffset(*picture));
        std::fill(pixels.begin(), pixels.end(), static_cast<std::uint8_t>(Pick(256)));
        auto work = p.buffers.WorkImage->bytes();
        std::copy_n(picture->bytes().begin(), std::min(work.size(), picture->size()), work.begin());
        if (PictureWindow* window = p.CreateOpenfileWindow("opened.bmp", false)) {
            window->Command(fine ? CMD_DATA_OUT_FINE : CMD_DATA_OUT_NORMAL);
        }
    }

    // Only documented messages; every Capture picture and every file the user named is there,
    // whole, and a camera picture; no temporary file stays.
    void CheckEnd() {
        for (const ShownMessage& message : shell_->messages) {
            EXPECT_TRUE(DocumentedMessage(message))
                << "undocumented message: " << message.caption << ": " << message.text;
        }
        for (const WindowId id : program_->captureWindows.Ids()) {
            const DibBlock& picture = program_->captureWindows.Find(id)->picture();
            EXPECT_TRUE(DibWidth(picture) == 0 || MatchesACameraPicture(picture))
                << "Capture window " << id;  // width 0: its picture never arrived
        }
        for (const SaveDialogResult& saved : shell_->answered) {
            const std::filesystem::path path = saved.path;
            if (!std::filesystem::exists(path)) {
                ADD_FAILURE() << "no file " << path;
            } else if (saved.filterIndex == SAVE_FILTER_JPEG) {
                JpegState state;
                DecompressJpegToBmp(state, path, root_ / "expected" / "saved.bmp", 0);
                EXPECT_FALSE(state.JpegErrorFlag) << path;
            } else if (const DibFileResult loaded = LoadDibFile(path); !loaded.block) {
                ADD_FAILURE() << "unreadable " << path;
            } else if (saved.filterIndex == SAVE_FILTER_FULL_COLOUR_BMP) {
                EXPECT_TRUE(MatchesACameraPicture(*loaded.block)) << path;
            } else {
                EXPECT_EQ(DibBitCount(*loaded.block), 8) << path;
            }
        }
        for (const auto& entry : std::filesystem::directory_iterator(root_.path())) {
            EXPECT_NE(entry.path().filename().string().front(), '.')
                << "temporary file left: " << entry.path();
        }
    }
    // The block equals a picture any camera held, after one of the treatments (which one is not
    // checked: a camera may have deleted pictures while the user had stopped waiting).
    bool MatchesACameraPicture(const DibBlock& picture) {
        for (const camsim::SimPicture& held : pictures_) {
            if (held.width != DibWidth(picture) || held.height != DibHeight(picture)) {
                continue;
            }
            for (std::uint8_t level = 0; level < TREATMENT_LEVELS; ++level) {
                camsim::SimPicture treated = held;
                treated.attribute = static_cast<std::uint8_t>((level << 4) | 1);
                const std::vector<std::uint8_t>& expected = ExpectedFor(treated);
                const auto rows =
                    static_cast<std::ptrdiff_t>(Rgb24DibBytes(treated.width, treated.height));
                if (expected.size() >= static_cast<std::size_t>(rows) &&
                    picture.size() >= static_cast<std::size_t>(rows) &&
                    std::equal(expected.begin(), expected.begin() + rows,
                               picture.bytes().begin())) {
                    return true;
                }
            }
        }
        return false;
    }
    // A camera picture as a Capture window holds it, decoded and treated by the program's own
    // code; made once.
    const std::vector<std::uint8_t>& ExpectedFor(const camsim::SimPicture& picture) {
        for (std::size_t i = 0; i < expectedPictures_.size(); ++i) {
            if (SamePicture(expectedPictures_[i], picture)) {
                return expected_[i];
            }
        }
        expectedPictures_.push_back(picture);
        std::vector<std::uint8_t>& expected = expected_.emplace_back();
        WriteBytes(root_ / "expected" / "in.jpg", picture.jpeg);
        JpegState state;
        DecompressJpegToBmp(state, root_ / "expected" / "in.jpg", root_ / "expected" / "in.bmp", 0);
        std::vector<std::uint8_t> block(Rgb24DibBytes(picture.width, picture.height) + 60);
        if (ReadDecodedBmp(root_ / "expected" / "in.bmp", picture.width, picture.height, block) ==
            DecodedBmpResult::Ok) {
            DibBlock dib(std::move(block));
            Memory memory;
            ApplyColourTreatment(dib, picture.attribute, memory);
            expected = dib.storage();
        }
        return expected;
    }

    std::mt19937_64 random_;
    std::mt19937_64 situations_;
    std::vector<std::string> story_;
    TempDir root_;
    std::unique_ptr<Shell> shell_;
    VirtualLoop loop_;
    SimulatedLine cameraLine_{loop_};
    FaultyLine line_{cameraLine_};
    FixedClock clock_;
    Memory memory_;
    FixedFreeSpace freeSpace_;
    HostEnvironment environment_;
    camsim::CameraConfig config_;
    // Every camera used (a reset camera is a new one), kept for the events queued for them.
    std::vector<std::unique_ptr<camsim::SimCamera>> cameras_;
    std::vector<camsim::SimPicture> pictures_;  // every picture any camera held
    std::vector<camsim::SimPicture> expectedPictures_;
    std::deque<std::vector<std::uint8_t>> expected_;
    int saves_ = 0;
    std::unique_ptr<Program> program_;
};

namespace {

TEST(FaultSessions, EverySessionSettlesInADocumentedStateWithTheCamerasPictures) {
    // The sanitizer build runs a session some fifty times slower, so it runs a few by default.
#if defined(__SANITIZE_ADDRESS__)
    const std::uint64_t sessions = EnvironmentNumber("FOTOLYX_FAULT_SESSIONS", 20);
#else
    const std::uint64_t sessions = EnvironmentNumber("FOTOLYX_FAULT_SESSIONS", 500);
#endif
    const bool replay = std::getenv("FOTOLYX_FAULT_SEED") != nullptr;
    const std::uint64_t first = EnvironmentNumber("FOTOLYX_FAULT_SEED", 1);
    const auto* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (std::uint64_t seed = first; seed < first + (replay ? 1 : sessions) && failed < 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const int before = result->total_part_count();
        FaultSession session(seed);
        session.Run();
        const bool bad = result->total_part_count() != before;
        failed += bad ? 1 : 0;
        if (bad || replay) {
            std::printf("session %llu%s:\n", static_cast<unsigned long long>(seed),
                        bad ? " FAILED (replay with FOTOLYX_FAULT_SEED)" : "");
            for (const std::string& line : session.Story()) {
                std::printf("  %s\n", line.c_str());
            }
        }
    }
}

// Faults the sessions found, each replayed on its own.
// A camera with sample pictures on COM1 and the program started.
struct IndexedSession : LinkSession {
    explicit IndexedSession(std::size_t pictures, camsim::CameraConfig config = {}) {
        config.pictures = camsim::MakeSamplePictures(pictures);
        camera = &AddCamera(PORT_COM1, config);
        Start();
    }
    bool IndexLoaded(int limitMs) {
        return RunUntil([&] { return program().indexTransfer.index.IndexLoaded; }, limitMs);
    }
    camsim::SimCamera* camera = nullptr;
};

// The Reconnect of a camera that fell silent during an upload closes its wait dialog.
TEST(FaultRegressions, ReconnectDuringAnUploadClosesItsWaitDialog) {
    IndexedSession session(1);
    Program& program = session.program();
    ASSERT_TRUE(session.IndexLoaded(60'000));
    session.camera->Faults().silentAfterMessages = session.camera->MessagesSent() + 5;
    std::optional<DibBlock> picture = CreateDib(640, 480, 24);
    ASSERT_TRUE(picture);
    std::copy_n(picture->bytes().begin(), picture->size(),
                program.buffers.WorkImage->bytes().begin());
    program.CreateOpenfileWindow("opened.bmp", false)->Command(CMD_DATA_OUT_FINE);
    EXPECT_EQ(program.pleaseWait.Current(), PleaseWait::DataTrans);
    ASSERT_TRUE(
        session.RunUntil([&] { return session.DialogShown(LinkDialog::ComDisconnect); }, 60'000));
    program.linkSetup.DisconnectReconnect();
    EXPECT_FALSE(program.pleaseWait.Current().has_value());
    const auto& ended = session.shell.pleaseWaitEnded;
    EXPECT_EQ(std::count(ended.begin(), ended.end(), PleaseWait::DataTrans), 1);
    EXPECT_EQ(program.upload.uploadsDone, 0u);
}

// Session 524: a set-up that ended with the minimum-speed message is confirmed late through the
// live watchdog's NAK; the index request then went out while answers still went to the live view.
TEST(FaultRegressions, Seed524AnIndexStartedAfterALiveClickDuringTheSetUpArrives) {
    camsim::CameraConfig config;
    config.speedAnswerDelay = 20'000;
    IndexedSession session(2, config);
    Program& program = session.program();
    ASSERT_TRUE(session.RunUntil([&] { return !session.shell.messages.empty(); }, 10'000));
    ASSERT_EQ(session.shell.messages[0].text, TEXT_MINIMUM_SPEED);
    session.line.SetBaudRate(BAUD_115200);  // the line's speed changed under the program
    ASSERT_NE(program.CreateOpenfileWindow("opened.bmp", false), nullptr);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
    program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, false);
    ASSERT_TRUE(session.RunUntilCameraReady());
    EXPECT_TRUE(session.IndexLoaded(10'000));
    EXPECT_EQ(program.indexTransfer.index.receivedCount, 2u);
}

// Session 866: a few bytes too many in the middle of the index shifted every later packet for
// ever; the restart waits for a quiet moment and drops what arrived meanwhile.
TEST(FaultRegressions, Seed866ExtraBytesInTheIndexDoNotShiftEveryPacketForEver) {
    for (const std::uint32_t noise : {1u, 5u, 115u}) {
        IndexedSession session(2);
        ASSERT_TRUE(session.RunUntilCameraReady());
        session.camera->Faults().noiseBeforeMessage = session.camera->MessagesSent() + 6;
        session.camera->Faults().noiseBytes = noise;
        EXPECT_TRUE(session.IndexLoaded(20'000)) << noise << " bytes";
        EXPECT_EQ(session.program().indexTransfer.index.receivedCount, 2u) << noise << " bytes";
        EXPECT_TRUE(session.shell.linkDialogsShown.empty()) << noise << " bytes";
    }
}

}  // namespace
}  // namespace fotolyx::testing
