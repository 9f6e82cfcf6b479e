// What a host program (tessaro-host, libtessaro) holds while it runs: the
// plug-in module loaded as the real host loads it, its device connected from
// a configuration text, the drives it listed, the positions its callback
// reported, and the settings file the drives' settings live in.
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "host/kx_class.h"
#include "host/kx_device_interfaces.h"
#include "host/kx_module.h"
#include "session/board_journal.h"
#include "session/device_lines.h"

namespace tessaro_host {

struct SessionOptions {
    std::string modulePath;
    int port = 1;
    std::string device;        // systems without COM names: what serves the port
    std::string settingsFile;  // "" for none
    bool trace = false;
    std::string traceFile;  // the trace goes here instead of the output
    bool metadata = true;   // print the module's metadata sections
    // Ctrl-C stops a long operation, and a terminal shows the positions
    // while it runs (tessaro-host); a library has neither.
    bool console = true;
};

// What keeps a session from starting, said before the plug-in gets the
// port (the plug-in itself can only say that nothing answered); "" when
// nothing does. The port check also maps the port onto `device`.
std::string SettingsFileProblem(const std::string& path);
std::string ModuleProblem(const std::string& path);
std::string PortProblem(int port, const std::string& device);
// The lines of a settings file that cannot be used, read without a board
// (a file not there yet has none); `error` when it cannot be read.
std::vector<std::string> SettingsFileNotes(const std::string& path, std::string* error);

// The positions the plug-in last reported through the host callback, and
// whether the stage's and the focus drive's can be trusted (as the device
// last said).
struct ReportedPositions {
    std::atomic<double> x{0}, y{0}, z{0}, angle{0};
    std::atomic<long> count{0};
    std::atomic<bool> xyTrusted{true}, zTrusted{true};
    // The line to the board: as usual, lost (its device went away), or back
    // after a loss (until the next operation's status line starts).
    enum LineState { kLineUp, kLineLost, kLineBack };
    std::atomic<int> line{kLineUp};
};

// The settings texts' reasons (the drives' positionDoubt) for positions
// saved before another session used the board, and for those of a board
// whose last session ended without a disconnect.
inline constexpr int kPositionDoubtAnotherSession = 4;
inline constexpr int kPositionDoubtSessionDied = 5;

// Drive ids given to the drives' settings (and found in their reports).
inline constexpr unsigned kXYDriveId = 1;
inline constexpr unsigned kZDriveId = 2;
inline constexpr unsigned kRotaryDriveId = 3;

// The zero-padded UTF-16LE records of a module's metadata section, as text.
std::vector<std::string> MetadataRecords(const std::vector<std::uint8_t>& bytes);

class HostSession {
  public:
    explicit HostSession(std::ostream& out) : m_out(out) {}
    ~HostSession() { Close(); }
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads the module, prints its metadata, connects and lists the drives,
    // installs the position callback and loads the drives' settings. False
    // with a one-line reason.
    bool Open(const SessionOptions& options, std::string* error);
    // Saves the settings (when a file was given), disconnects and unloads;
    // false, with the reason, when the settings could not be saved.
    bool Close(std::string* error = nullptr);
    bool SaveSettings(std::string* error);
    // The drives' settings written to, or read from and sent to the drives
    // from, another file than the session's.
    bool SaveSettingsTo(const std::string& file, std::string* error);
    // `usable`: the lines that can be used are taken and the others noted;
    // otherwise a file with such a line is refused whole.
    bool LoadSettingsFrom(const std::string& file, std::string* error, bool usable = false);
    // What was wrong with the settings read at connect or by the last load:
    // lines not used, values a drive kept as they were.
    std::vector<std::string> SettingsProblems();
    // Called from the polling thread with each position the plug-in reports
    // (drive id, then one or two coordinates); empty for none.
    using PositionListener = std::function<void(unsigned, double, double)>;
    void SetPositionListener(PositionListener listener);
    // Called with each line of the device and each note of the session on
    // the settings (from any thread, the plug-in's locks maybe held: it
    // must only hand the line on); `warning` for one that tells of a
    // failure, a loss, a doubt or a value not taken.
    using LineListener = std::function<void(bool warning, const std::string&)>;
    void SetLineListener(LineListener listener);

    // One trace line (they come from several threads).
    void Print(const std::string& line);
    // Sets `positions` from what the drives report now (a drive that is
    // missing leaves its entries as they are).
    void ReadPositions();

    // The device's diagnostic lines of this session, read as they came
    // (each also printed as "device: ..."), and how many there were so far.
    std::size_t DiagnosticCount();
    std::vector<DeviceLine> DiagnosticsSince(std::size_t mark);

    IKxPhysicalDevice* device = nullptr;
    IKxDeviceXY* xy = nullptr;
    IKxDeviceZ* z = nullptr;
    IKxDeviceRotary* rotary = nullptr;
    CKxLogicalDeviceList drives;
    ReportedPositions positions;
    SessionOptions options;

  private:
    bool PrintMetadata(std::string* error);
    void LoadSettings();
    // Sends the texts to the drives; the settings' problems are then
    // `problems` and the values the drives did not take.
    void SendSettings(const std::string (&texts)[3], std::vector<std::string> problems);
    // Whether a settings file saved at that disconnect or during that
    // session holds the board's own positions (see board_journal.h).
    bool HandedOver(std::uint64_t disconnect, std::uint64_t session) const;
    // Makes every drive's positions in `texts` say why they are not the
    // board's own.
    void MarkPositionsDoubtful(std::string (&texts)[3]) const;
    static void OnPosition(std::uint32_t kind, SKxDevicePosition* record, std::uint64_t context);
    static void OnPacket(void* context, std::uint16_t commandWordCount,
                         const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                         const std::uint16_t* replyWords, std::uint16_t result);

    void OnDiagnostic(const std::string& text);

    std::ostream& m_out;
    std::mutex m_printMutex;
    std::ofstream m_traceOut;               // --trace-file, under m_printMutex
    std::vector<DeviceLine> m_diagnostics;  // under m_printMutex
    host::CKxModule m_module;
    IKxInterface* m_object = nullptr;
    double m_startMs = 0;
    bool m_open = false;
    bool m_bSettingsDamaged = false;          // a line of the file could not be used
    bool m_bBackedUp = false;                 // ... and the file is kept as FILE.bak
    std::unique_ptr<BoardJournal> m_journal;  // from a connect on
    BoardJournal::Last m_lastSession;         // the journal's, at this connect
    std::uint64_t m_sessionNumber = 0;
    std::uint64_t m_releasedNumber = 0;  // this session's clean disconnect
    // A session's line on the settings: printed, and handed on.
    void Note(const std::string& line, bool warning);
    std::vector<std::string> m_settingsProblems;  // under m_printMutex
    std::mutex m_listenerMutex;
    PositionListener m_listener;  // under m_listenerMutex
    LineListener m_lineListener;  // under m_listenerMutex
};

}  // namespace tessaro_host
