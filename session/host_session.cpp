#include "session/host_session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"
#include "cmotion/link_trace.h"
#include "host/kx_diag.h"
#include "host/kx_module_file.h"
#include "host/kx_settings.h"
#include "host/kx_string.h"
#include "host/kx_time.h"
#include "platform/serial_port.h"
#include "platform/user_files.h"
#include "session/host_commands.h"

namespace tessaro_host {
namespace {

using Factory = IKxInterface* (*)(const char*, int);
using MapPort = void (*)(int, const char*);
using PacketObserver = void (*)(void*, std::uint16_t, const std::uint16_t*, std::uint16_t,
                                const std::uint16_t*, std::uint16_t);
using SetPacketTrace = void (*)(PacketObserver, void*);

// The settings file: one line per drive, "name: settings text" (the text is
// one line: the host's format escapes line breaks).
const char* const kDriveNames[] = {"xy", "z", "rotary"};

}  // namespace

std::vector<std::string> MetadataRecords(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> records;
    std::u16string current;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) {
            if (!current.empty()) records.push_back(KX_ToUtf8(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) records.push_back(KX_ToUtf8(current));
    return records;
}

std::string SettingsFileProblem(const std::string& path) {
    // A device name such as COM1 would be read for ever.
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return "settings file " + path + " is not a file";
    return {};
}

std::string ModuleProblem(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::u8path(path), error))
        return "cannot load " + path + ": it is a folder, not a module";
    return {};
}

std::string PortProblem(int port, const std::string& device) {
    // A device names the port for this connection only: without one, the
    // port is the system's again (not what an earlier connect pointed it at).
    platform::SetComPortPath(port, device);
    const std::string problem = platform::DescribeSerialOpenProblem(port);
    if (problem.empty()) return {};
    return "cannot open COM" + std::to_string(port) + " (" + platform::DescribeSerialPort(port) +
           "): " + problem;
}

bool HostSession::Open(const SessionOptions& opts, std::string* error) {
    options = opts;
    m_startMs = KX_GetTimeCounter();
    if (options.metadata && !PrintMetadata(error)) return false;
    if (!m_module.Load(options.modulePath, error)) {
        *error = "cannot load " + options.modulePath + ": " + *error;
        return false;
    }
    auto factory = reinterpret_cast<Factory>(m_module.Symbol("KX_ConstructorForCKxTessaroDevice"));
    if (!factory) return *error = "the module has no factory", false;
    if (auto map = reinterpret_cast<MapPort>(m_module.Symbol("TessaroDevice_SetComPortPath")))
        map(options.port, options.device.c_str());
    if (!options.traceFile.empty()) {
        m_traceOut.open(std::filesystem::u8path(options.traceFile), std::ios::app);
        if (!m_traceOut) return *error = "cannot write the trace to " + options.traceFile, false;
        options.trace = true;
    }
    if (options.trace) {
        if (auto trace =
                reinterpret_cast<SetPacketTrace>(m_module.Symbol("TessaroDevice_SetPacketTrace")))
            trace(&HostSession::OnPacket, this);
    }
    m_object = factory(__FILE__, __LINE__);
    if (!m_object) return *error = "the factory made no device", false;
    device = dynamic_cast<IKxPhysicalDevice*>(m_object);
    if (!device) return *error = "the module's device is no IKxPhysicalDevice", false;
    m_open = true;

    CKxStringW configuration;
    SetIntToKey(configuration, u"m_iPort", options.port);
    // The device's diagnostic lines say why a connection failed, why a
    // drive is missing, how a move or a search ended; shown as they come.
    host::SetDiagnosticSink([this](const host::DiagnosticLine& line) {
        if (!line.source.empty()) OnDiagnostic(KX_ToUtf8(line.message));  // not a timed scope
    });
    device->ConnectDevice(configuration.GetString());
    if (device->GetConnectionState() != 2) {
        *error = "no controller answers on COM" + std::to_string(options.port) + " (" +
                 platform::DescribeSerialPort(options.port) +
                 "): no answer to the synchronisation (up to 15 zero bytes) or to GetVersion at "
                 "57600 baud";
        return false;
    }
    device->CreateLogicalDevices(0, 0, drives);
    for (IKxLogicalDevice* d : drives) {
        if (auto* p = dynamic_cast<IKxDeviceXY*>(d)) xy = p;
        if (auto* p = dynamic_cast<IKxDeviceZ*>(d)) z = p;
        if (auto* p = dynamic_cast<IKxDeviceRotary*>(d)) rotary = p;
    }
    m_out << "connected on COM" << options.port << ": " << drives.size() << " drive"
          << (drives.size() == 1 ? "" : "s") << "\n";
    device->SetPositionCallback(&HostSession::OnPosition, reinterpret_cast<std::uint64_t>(this));
    // Whether the settings file is the board's hand-over is known before
    // this session holds the board.
    m_journal = std::make_unique<BoardJournal>(
        options.device.empty() ? "COM" + std::to_string(options.port) : options.device);
    m_lastSession = m_journal->LastSession();
    m_journal->Hold();
    m_sessionNumber = DrawBoardNumber();
    LoadSettings();
    return true;
}

bool HostSession::PrintMetadata(std::string* error) {
    for (const char* section : {"ver6IDX", "ver6ID"}) {
        std::vector<std::uint8_t> bytes;
        if (!host::ReadModuleSection(options.modulePath, section, &bytes, error)) {
            *error = "cannot read " + options.modulePath + ": " + *error;
            return false;
        }
        m_out << "module section " << section << ":\n";
        for (const std::string& record : MetadataRecords(bytes)) m_out << "  " << record << "\n";
    }
    return true;
}

namespace {

// Whether a drive's settings text is one the drives can use whole: pairs
// "key=value;" of a key of letters, digits and '_' (no spaces: the drives
// would not find " speed") and a finite number.
bool UsableSettingsText(const std::string& text, std::string* what) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(';', start);
        if (end == std::string::npos)
            return *what = "cut off after '" + text.substr(start) + "'", false;
        const std::string pair = text.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        double value = 0;
        const bool keyOk =
            eq != std::string::npos && eq != 0 &&
            std::all_of(pair.begin(), pair.begin() + static_cast<std::ptrdiff_t>(eq), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
            });
        // The drives read a value without a '+' (as every save writes it):
        // one with it would pass here and be dropped there.
        const std::string text = pair.substr(eq + 1);
        if (!keyOk || text.rfind('+', 0) == 0 || !ParseFiniteNumber(text, &value))
            return *what = "'" + pair + "' is no setting", false;
        start = end + 1;
    }
    return true;
}

}  // namespace

namespace {

// The drives' lines of a settings file: `texts` gets each usable one; the
// lines that cannot be used are counted and said in `notes`.
// The board line says when the positions were saved: at the clean
// disconnect of that number, or during the session of that number (see
// board_journal.h).
struct SettingsRead {
    int found = 0;
    int unusable = 0;
    std::vector<std::string> notes;
    std::uint64_t disconnect = 0;
    std::uint64_t session = 0;
};
// "board: disconnect=N;" or "board: session=N;".
bool ReadBoardLine(const std::string& line, SettingsRead* read) {
    unsigned long long number = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "board: disconnect=%llu%c", &number, &end) == 2 && end == ';')
        return read->disconnect = number, true;
    if (std::sscanf(line.c_str(), "board: session=%llu%c", &number, &end) == 2 && end == ';')
        return read->session = number, true;
    return false;
}
SettingsRead ReadSettingsLines(const std::string& bytes, const std::string& file,
                               std::string (&texts)[3]) {
    SettingsRead read;
    // A UTF-8 byte-order mark, as some Windows editors put at the start, is
    // no part of the first line.
    std::istringstream in(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes);
    std::string line;
    int number = 0;
    while (in && std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || ReadBoardLine(line, &read)) continue;
        bool used = false;
        std::string why = "not a drive's line";
        for (int i = 0; i < 3; ++i) {
            const std::string prefix = std::string(kDriveNames[i]) + ": ";
            if (line.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string text = line.substr(prefix.size());
            if (UsableSettingsText(text, &why)) {
                texts[i] = text;
                ++read.found;
                used = true;
            }
        }
        if (!used) {
            ++read.unusable;
            read.notes.push_back(file + " line " + std::to_string(number) + " not used: " + why);
        }
    }
    return read;
}

}  // namespace

void HostSession::LoadSettings() {
    // Every drive gets its id and its parameters sent, also without a file
    // (a file not there yet is the first run's: save writes it).
    std::string texts[3];
    std::vector<std::string> notes;
    if (!options.settingsFile.empty()) {
        // A file not there reads as empty.
        std::string bytes;
        platform::ReadWholeFile(options.settingsFile, &bytes, nullptr);
        const SettingsRead read = ReadSettingsLines(bytes, options.settingsFile, texts);
        // Kept as it is (in FILE.bak) before anything overwrites it.
        if (read.unusable > 0) m_bSettingsDamaged = true;
        for (const std::string& note : read.notes) Note("settings: " + note, true);
        if (read.found > 0)
            m_out << "settings of " << read.found << " drives read from " << options.settingsFile
                  << "\n";
        if (!HandedOver(read.disconnect, read.session)) MarkPositionsDoubtful(texts);
        notes = read.notes;
    }
    SendSettings(texts, notes);
}

bool HostSession::HandedOver(std::uint64_t disconnect, std::uint64_t session) const {
    return (disconnect != 0 && disconnect == m_lastSession.disconnect) ||
           (session != 0 && session == m_sessionNumber);
}

void HostSession::MarkPositionsDoubtful(std::string (&texts)[3]) const {
    const int doubt = m_lastSession.held ? kPositionDoubtSessionDied : kPositionDoubtAnotherSession;
    // The drives' own keys: they then keep the saved places in the board's
    // frame, take the board's count as the present position, and say why
    // their position cannot be trusted.
    const char* const suffixes[3][2] = {{"_x", "_y"}, {"", nullptr}, {"", nullptr}};
    for (int i = 0; i < 3; ++i) {
        if (texts[i].empty()) continue;
        for (const char* suffix : suffixes[i])
            if (suffix)
                texts[i] += std::string("positionTrusted") + suffix + "=0;positionDoubt" + suffix +
                            "=" + std::to_string(doubt) + ";";
    }
}

std::vector<std::string> SettingsFileNotes(const std::string& file, std::string* error) {
    if (std::string problem = SettingsFileProblem(file); !problem.empty()) {
        if (error) *error = problem;
        return {};
    }
    // Read as the connect reads it: a file not there yet (the first run's)
    // reads as empty.
    std::string bytes, texts[3];
    platform::ReadWholeFile(file, &bytes, nullptr);
    return ReadSettingsLines(bytes, file, texts).notes;
}

bool HostSession::LoadSettingsFrom(const std::string& file, std::string* error, bool usable) {
    {
        std::lock_guard<std::mutex> lock(m_printMutex);
        m_settingsProblems.clear();
    }
    const std::string problem = SettingsFileProblem(file);
    if (!problem.empty()) return *error = problem, false;
    std::string bytes;
    if (!platform::ReadWholeFile(file, &bytes, nullptr))
        return *error = "cannot read " + file, false;
    std::string texts[3];
    const SettingsRead read = ReadSettingsLines(bytes, file, texts);
    // Unless asked to take what it can: a file taken in part would leave the
    // drives half set, so all or nothing.
    if (read.unusable > 0 && !usable) {
        std::lock_guard<std::mutex> lock(m_printMutex);
        m_settingsProblems = read.notes;
        return *error = "settings " + read.notes.front(), false;
    }
    if (read.found == 0) return *error = "no drive's settings in " + file, false;
    if (!HandedOver(read.disconnect, read.session)) MarkPositionsDoubtful(texts);
    for (const std::string& note : read.notes) Note("settings: " + note, true);
    SendSettings(texts, read.notes);
    return true;
}

std::vector<std::string> HostSession::SettingsProblems() {
    std::lock_guard<std::mutex> lock(m_printMutex);
    return m_settingsProblems;
}

void HostSession::SendSettings(const std::string (&texts)[3], std::vector<std::string> problems) {
    const std::size_t told = DiagnosticCount();
    IKxLogicalDevice* targets[3] = {xy, z, rotary};
    const unsigned ids[3] = {kXYDriveId, kZDriveId, kRotaryDriveId};
    for (int i = 0; i < 3; ++i) {
        if (!targets[i]) continue;
        std::u16string wide(texts[i].begin(), texts[i].end());
        targets[i]->LoadSettings(wide.c_str(), ids[i]);
    }
    // A value a drive did not take is a problem of the file too (not a
    // move another thread had refused meanwhile).
    for (const DeviceLine& line : DiagnosticsSince(told))
        if (line.settingKept) problems.push_back(line.text);
    std::lock_guard<std::mutex> lock(m_printMutex);
    m_settingsProblems = std::move(problems);
}

bool HostSession::SaveSettings(std::string* error) {
    if (options.settingsFile.empty()) return *error = "no settings file (--settings)", false;
    return SaveSettingsTo(options.settingsFile, error);
}

bool HostSession::SaveSettingsTo(const std::string& file, std::string* error) {
    const std::string problem = SettingsFileProblem(file);
    if (!problem.empty()) return *error = problem, false;
    std::ostringstream text;
    text << "# tessaro-host settings: one line per drive\n";
    // When the positions were saved: at this clean disconnect, or while the
    // session holds the board.
    if (m_releasedNumber != 0)
        text << "board: disconnect=" << m_releasedNumber << ";\n";
    else if (m_sessionNumber != 0)
        text << "board: session=" << m_sessionNumber << ";\n";
    IKxLogicalDevice* sources[3] = {xy, z, rotary};
    for (int i = 0; i < 3; ++i) {
        if (!sources[i]) continue;
        CKxStringW saved;
        sources[i]->SaveSettings(saved);
        std::string narrow;
        // The host's settings format is printable ASCII throughout.
        for (char16_t c : saved.str()) narrow += static_cast<char>(c);
        text << kDriveNames[i] << ": " << narrow << "\n";
    }
    // The session's file, when it could not be used whole, is kept beside
    // before it is replaced (once a run).
    if (file == options.settingsFile && m_bSettingsDamaged && !m_bBackedUp) {
        std::string original;
        if (!platform::ReadWholeFile(file, &original, nullptr) ||
            !platform::WriteWholeFile(file + ".bak", original, nullptr))
            return *error = "cannot keep " + file + " as " + file + ".bak", false;
        Note("settings: the old " + file + " is kept as " + file + ".bak", false);
        m_bBackedUp = true;
    }
    // Written beside, then put in place in one step: the old file stays
    // whole until the new one is.
    const std::string temporary = file + ".tmp";
    if (!platform::WriteWholeFile(temporary, text.str(), nullptr)) {
        platform::RemoveFile(temporary);
        return *error = "cannot write " + file + " (writing " + temporary + " failed)", false;
    }
    std::string reason;
    if (!platform::ReplaceFileAtomically(temporary, file, &reason)) {
        platform::RemoveFile(temporary);
        return *error = "cannot write " + file + ": " + reason, false;
    }
    return true;
}

bool HostSession::Close(std::string* error) {
    if (!m_open) return true;
    m_open = false;
    bool saved = true;
    const bool connected = device && device->GetConnectionState() == 2;
    // The disconnect stops every drive, waits for rest and reads where each
    // stands before it resets the board; the settings are saved after it,
    // so that the file holds the place where the board's count restarts,
    // with the number of this disconnect.
    if (device) device->DisconnectDevice();
    if (connected && m_journal) m_releasedNumber = m_journal->Release();
    if (!options.settingsFile.empty() && connected) {
        std::string reason;
        saved = SaveSettings(&reason);
        if (!saved && error) *error = reason;
    }
    host::SetDiagnosticSink(nullptr);
    // The host drops the drives after the device has closed the controller.
    if (m_object) m_object->GetKxClass()->Release();
    for (IKxLogicalDevice* d : drives) delete d;
    drives.clear();
    m_object = nullptr;
    device = nullptr;
    xy = nullptr;
    z = nullptr;
    rotary = nullptr;
    if (options.trace) {
        if (auto trace =
                reinterpret_cast<SetPacketTrace>(m_module.Symbol("TessaroDevice_SetPacketTrace")))
            trace(nullptr, nullptr);
    }
    m_module.Unload();
    m_out << "disconnected\n";
    return saved;
}

void HostSession::Note(const std::string& line, bool warning) {
    m_out << line << "\n";
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    if (m_lineListener) m_lineListener(warning, line);
}

void HostSession::SetLineListener(LineListener listener) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_lineListener = std::move(listener);
}

void HostSession::OnDiagnostic(const std::string& text) {
    DeviceLine line = ReadDeviceLine(text);
    // The device's word on whether a drive's position can be trusted, and
    // on its line.
    std::atomic<bool>* trusted = line.drive == LineDrive::kXY  ? &positions.xyTrusted
                                 : line.drive == LineDrive::kZ ? &positions.zTrusted
                                                               : nullptr;
    if (trusted && line.positionDoubted) *trusted = false;
    if (trusted && line.positionTrustedAgain) *trusted = true;
    if (line.reportsLineLost) positions.line = ReportedPositions::kLineLost;
    if (line.reportsLineBack) positions.line = ReportedPositions::kLineBack;
    // Handed on once the session's state says what the line says: a program
    // told "line lost" then finds the position unknown.
    {
        std::lock_guard<std::mutex> lock(m_listenerMutex);
        if (m_lineListener) m_lineListener(line.warning, text);
    }
    std::lock_guard<std::mutex> lock(m_printMutex);
    m_diagnostics.push_back(std::move(line));
    // The line for a good connection says nothing new.
    if (text == "Tessaro device board id 1 connected") return;
    m_out << "device: " << text << "\n";
    m_out.flush();
}

std::size_t HostSession::DiagnosticCount() {
    std::lock_guard<std::mutex> lock(m_printMutex);
    return m_diagnostics.size();
}

std::vector<DeviceLine> HostSession::DiagnosticsSince(std::size_t mark) {
    std::lock_guard<std::mutex> lock(m_printMutex);
    if (mark >= m_diagnostics.size()) return {};
    return std::vector<DeviceLine>(m_diagnostics.begin() + static_cast<std::ptrdiff_t>(mark),
                                   m_diagnostics.end());
}

void HostSession::ReadPositions() {
    if (xy) {
        double x = 0, y = 0;
        xy->GetPosition(&x, &y);
        positions.x = x;
        positions.y = y;
    }
    if (z) {
        double position = 0;
        z->GetPosition(&position);
        positions.z = position;
    }
    if (rotary) {
        double angle = 0;
        rotary->GetAngle(&angle);
        positions.angle = angle;
    }
}

void HostSession::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_printMutex);
    m_out << line << "\n";
    m_out.flush();
}

void HostSession::OnPosition(std::uint32_t kind, SKxDevicePosition* record, std::uint64_t context) {
    auto* session = reinterpret_cast<HostSession*>(context);
    if (kind != 1 || !record || !session) return;
    ReportedPositions& p = session->positions;
    switch (record->uDeviceId) {
        case kXYDriveId:
            p.x = record->dPosition[0];
            p.y = record->dPosition[1];
            break;
        case kZDriveId:
            p.z = record->dPosition[0];
            break;
        case kRotaryDriveId:
            p.angle = record->dPosition[0];
            break;
        default:
            return;
    }
    ++p.count;
    std::lock_guard<std::mutex> lock(session->m_listenerMutex);
    if (session->m_listener)
        session->m_listener(record->uDeviceId, record->dPosition[0], record->dPosition[1]);
}

void HostSession::SetPositionListener(PositionListener listener) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void HostSession::OnPacket(void* context, std::uint16_t commandWordCount,
                           const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                           const std::uint16_t* replyWords, std::uint16_t result) {
    auto* session = static_cast<HostSession*>(context);
    if (!session || commandWordCount == 0) return;
    const std::string line =
        cmotion::FormatExchange(KX_GetTimeCounter() - session->m_startMs, commandWordCount,
                                commandWords, replyWordCount, replyWords, result);
    if (session->m_traceOut.is_open()) {
        std::lock_guard<std::mutex> lock(session->m_printMutex);
        session->m_traceOut << line << "\n";
        session->m_traceOut.flush();
        return;
    }
    session->Print(line);
}

}  // namespace tessaro_host
