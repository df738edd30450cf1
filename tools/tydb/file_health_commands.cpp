// tydb check FILE|DIR, tydb backup SOURCE... DEST and tydb recover FILE NEW: a data file checked
// as a whole, copied consistently while the application goes on using it, and what a damaged one
// still holds saved into a new file. The work is the record manager's (its
// administration entry points, w3btrv7_admin.h), which alone knows how its files are kept.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "commands.h"
#include "platform.h"
#include "progress_bar.h"
#include "record_manager.h"
#include "status_text.h"
#include "w3btrv7_admin.h"

namespace tool {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMessageSize = 2048;
// Findings listed per file in text; the rest are counted.
constexpr size_t kListedFindings = 100;

const char* KindName(int32_t kind) {
    switch (kind) {
        case W3B_DAMAGE_PAGES: return "pages";
        case W3B_DAMAGE_DEFINITION: return "definition";
        case W3B_DAMAGE_SHORT_RECORD: return "short-record";
        case W3B_DAMAGE_MISSING_ENTRY: return "missing-entry";
        case W3B_DAMAGE_STRAY_ENTRY: return "stray-entry";
        case W3B_DAMAGE_WRONG_ENTRY: return "wrong-entry";
        case W3B_DAMAGE_ORDER: return "order";
        default: return "other";
    }
}

// Files of `folder` that may be data files, by name: not the journals, locks and side files the
// library and the record manager keep beside them. In name order.
std::vector<std::string> CandidateFiles(const std::string& folder) {
    static const char* const kSideSuffixes[] = {"-wal", "-shm", "-journal", ".lock", ".server", ".loc"};
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error)) continue;
        const std::string name = entry.path().filename().string();
        bool side = name.find(".new-") != std::string::npos;
        for (const char* suffix : kSideSuffixes) {
            const std::string end(suffix);
            side = side || (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0);
        }
        if (!side) files.push_back(entry.path().string());
    }
    if (error) Fail(2, "cannot read the folder " + folder + ": " + error.message());
    std::sort(files.begin(), files.end());
    return files;
}

struct FileCheck {
    std::string path;
    int16_t status = 0;
    std::string message;
    W3bCheckSummary summary{};
    std::vector<W3bFinding> findings;  // texts in `texts`
    std::vector<std::string> texts;
};

void Collect(void* context, const W3bFinding* finding) {
    auto* check = static_cast<FileCheck*>(context);
    check->texts.emplace_back(finding->text != nullptr ? finding->text : "");
    check->findings.push_back(*finding);
}

FileCheck CheckOne(W3bCheckFileFunction checkFile, const std::string& path) {
    FileCheck check;
    check.path = path;
    char message[kMessageSize] = {};
    check.status = checkFile(path.c_str(), &Collect, &check, &check.summary, message, kMessageSize);
    check.message = message;
    return check;
}

void PrintText(const FileCheck& check) {
    if (check.status != 0) {
        std::cout << check.path << ": not checked: " << check.message << " (status " << DescribeStatus(check.status)
                  << ")\n";
        return;
    }
    std::cout << check.path << ": " << check.summary.records << " records, " << check.summary.keys << " keys, "
              << check.summary.entries << " key entries: ";
    if (check.summary.findings == 0) {
        std::cout << "healthy\n";
        return;
    }
    std::cout << check.summary.findings << (check.summary.findings == 1 ? " finding" : " findings") << "\n";
    for (size_t i = 0; i < check.texts.size() && i < kListedFindings; ++i) {
        std::cout << "  " << KindName(check.findings[i].kind) << ": " << check.texts[i] << "\n";
    }
    if (check.texts.size() > kListedFindings) {
        std::cout << "  ... and " << check.texts.size() - kListedFindings << " more\n";
    }
}

std::string Json(const FileCheck& check) {
    std::string text = "{\"path\":" + JsonString(check.path) + ",\"status\":" + std::to_string(check.status);
    if (check.status != 0) return text + ",\"message\":" + JsonString(check.message) + "}";
    text += ",\"records\":" + std::to_string(check.summary.records) +
            ",\"keys\":" + std::to_string(check.summary.keys) +
            ",\"entries\":" + std::to_string(check.summary.entries) +
            ",\"healthy\":" + (check.summary.findings == 0 ? "true" : "false") + ",\"findings\":[";
    for (size_t i = 0; i < check.findings.size(); ++i) {
        const W3bFinding& finding = check.findings[i];
        text += std::string(i ? "," : "") + "{\"kind\":" + JsonString(KindName(finding.kind)) +
                ",\"key\":" + std::to_string(finding.key) + ",\"position\":" + std::to_string(finding.position) +
                ",\"text\":" + JsonString(check.texts[i]) + "}";
    }
    return text + "]}";
}

struct CheckOptions {
    std::string target;
    bool json = false;
};

// Exit 0 when every file checked is healthy, 1 when any has findings or could not be checked,
// 2 when there is nothing to check.
void RunCheck(const CheckOptions& options) {
    RecordManager manager;
    auto checkFile = reinterpret_cast<W3bCheckFileFunction>(manager.RequireSymbol("W3bCheckFile", "tydb check"));
    std::error_code error;
    const bool folder = fs::is_directory(options.target, error);
    if (!folder && !fs::exists(options.target, error)) Fail(2, "no such file or folder: " + options.target);
    std::vector<FileCheck> checks;
    std::vector<std::string> passedOver;
    for (const std::string& path : folder ? CandidateFiles(options.target) : std::vector<std::string>{options.target}) {
        FileCheck check = CheckOne(checkFile, path);
        // In a folder, files that are no database are simply not data files.
        if (folder && check.status == btr::kStatusNotABtrieveFile) {
            passedOver.push_back(path);
            continue;
        }
        if (!options.json) PrintText(check);
        checks.push_back(std::move(check));
    }
    const auto bad = std::count_if(checks.begin(), checks.end(),
                                   [](const FileCheck& c) { return c.status != 0 || c.summary.findings != 0; });
    if (options.json) {
        std::cout << "{\"files\":[";
        for (size_t i = 0; i < checks.size(); ++i) std::cout << (i ? "," : "") << Json(checks[i]);
        std::cout << "],\"passedOver\":[";
        for (size_t i = 0; i < passedOver.size(); ++i) std::cout << (i ? "," : "") << JsonString(passedOver[i]);
        std::cout << "],\"damaged\":" << bad << "}" << std::endl;
    } else {
        for (const std::string& path : passedOver) std::cout << path << ": passed over, not a data file\n";
        if (folder) std::cout << checks.size() << " data files checked, " << bad << " with findings\n";
        std::cout.flush();
    }
    if (checks.empty()) Fail(2, "no data file to check in " + options.target);
    if (bad > 0) throw CLI::RuntimeError(1);
}

struct BackupOptions {
    std::vector<std::string> paths;  // the sources, then the destination
    bool verify = false;
};

struct BackupProgress {
    std::unique_ptr<ProgressBar> bar;
    std::string label;
};

void ShowProgress(void* context, int64_t copied, int64_t total) {
    auto* progress = static_cast<BackupProgress*>(context);
    if (!progress->bar) {
        progress->bar = std::make_unique<ProgressBar>(std::cerr, platform::IsTerminal(2), progress->label, total);
    }
    progress->bar->Update(copied);
}

// Exit 0 when every source was copied (and, with --verify, every copy is healthy), 1 otherwise.
void RunBackup(const BackupOptions& options) {
    if (options.paths.size() < 2) Fail(2, "name at least one data file and where its copy goes");
    RecordManager manager;
    auto backup = reinterpret_cast<W3bBackupFileFunction>(manager.RequireSymbol("W3bBackupFile", "tydb backup"));
    auto checkFile = reinterpret_cast<W3bCheckFileFunction>(manager.RequireSymbol("W3bCheckFile", "tydb backup"));
    const std::string dest = options.paths.back();
    std::vector<std::string> sources(options.paths.begin(), options.paths.end() - 1);
    std::error_code error;
    const bool intoFolder = fs::is_directory(dest, error);
    if (sources.size() > 1 && !intoFolder) Fail(2, "copies of several files go into a folder: " + dest + " is none");
    int failures = 0;
    for (const std::string& source : sources) {
        const std::string copy = intoFolder ? (fs::path(dest) / fs::path(source).filename()).string() : dest;
        BackupProgress progress;
        progress.label = fs::path(source).filename().string();
        char message[kMessageSize] = {};
        const int16_t status = backup(source.c_str(), copy.c_str(), &ShowProgress, &progress, message, kMessageSize);
        if (progress.bar) progress.bar->Finish();
        if (status != 0) {
            std::cout << source << ": not copied: " << message << " (status " << DescribeStatus(status) << ")\n";
            ++failures;
            continue;
        }
        std::cout << source << ": copied to " << copy;
        if (options.verify) {
            FileCheck check = CheckOne(checkFile, copy);
            const bool healthy = check.status == 0 && check.summary.findings == 0;
            std::cout << (healthy ? ", checked: healthy, " + std::to_string(check.summary.records) + " records"
                                  : ", check FAILED:");
            if (!healthy) {
                std::cout << "\n";
                PrintText(check);
                ++failures;
            }
        }
        std::cout << "\n";
    }
    std::cout.flush();
    if (failures > 0) throw CLI::RuntimeError(1);
}

struct RecoverOptions {
    std::string source;
    std::string dest;
    std::string description;
};

void ReportLost(void* context, int64_t position, const char* why) {
    auto* lost = static_cast<std::vector<std::string>*>(context);
    lost->push_back((position >= 0 ? "record " + std::to_string(position) + ": " : std::string()) + why);
}

// Exit 0 when every record was saved, 1 when NEW was made but records were lost, 2 when no new
// file could be made.
void RunRecover(const RecoverOptions& options) {
    RecordManager manager;
    std::vector<std::string> lost;
    W3bRecoverSummary summary{};
    char message[kMessageSize] = {};
    int16_t status;
    if (options.description.empty()) {
        auto recover =
            reinterpret_cast<W3bRecoverFileFunction>(manager.RequireSymbol("W3bRecoverFile", "tydb recover"));
        status =
            recover(options.source.c_str(), options.dest.c_str(), &ReportLost, &lost, &summary, message, kMessageSize);
    } else {
        auto recover = reinterpret_cast<W3bRecoverFileAsFunction>(
            manager.RequireSymbol("W3bRecoverFileAs", "tydb recover --description"));
        const std::vector<uint8_t> definition = ReadDescriptionFile(options.description).createBuffer;
        status = recover(options.source.c_str(), options.dest.c_str(), definition.data(),
                         static_cast<uint32_t>(definition.size()), &ReportLost, &lost, &summary, message, kMessageSize);
    }
    if (status != 0) Fail(2, std::string(message) + " (status " + DescribeStatus(status) + ")");
    std::cout << "Saved " << summary.saved << " records of " << options.source << " into " << options.dest
              << ", every key built again; " << summary.lost << " lost\n";
    for (const std::string& line : lost) std::cout << "  lost " << line << "\n";
    std::cout.flush();
    if (!lost.empty()) throw CLI::RuntimeError(1);
}

}  // namespace

void AddFileHealthCommands(CLI::App& app) {
    auto checkOptions = std::make_shared<CheckOptions>();
    auto* check = app.add_subcommand("check", "Check a data file, or every data file of a folder, for damage");
    check->add_option("TARGET", checkOptions->target, "A data file or a folder")->required();
    check->add_flag("--json", checkOptions->json, "Print the result as JSON");
    check->footer(
        "Runs on one snapshot of each file and changes nothing: the database's own check of its pages,\n"
        "the stored definition, and every key against the records (each record listed once under its\n"
        "value, no entry naming a missing record, order numbers of duplicates). Exit 0 when every file is\n"
        "healthy, 1 when any has findings; tydb recover saves what a damaged file still holds.");
    check->callback([checkOptions] { RunCheck(*checkOptions); });

    auto backupOptions = std::make_shared<BackupOptions>();
    auto* backup = app.add_subcommand("backup", "Copy data files consistently while the application uses them");
    backup
        ->add_option("SOURCE... DEST", backupOptions->paths,
                     "The data files, then the new file (one source) or the folder the copies go into")
        ->required()
        ->expected(2, -1);
    backup->add_flag("--verify", backupOptions->verify, "Check each copy as tydb check does");
    backup->footer(
        "Each copy is one consistent moment of its file, taken without stopping the application's\n"
        "writers. Several files are each consistent, but not copied at one instant: for one instant\n"
        "take them at a quiet moment, or keep the folder on a PostgreSQL server (pg_dump of its schema).\n"
        "A copy appears only whole, and never replaces a file already there.");
    backup->callback([backupOptions] { RunBackup(*backupOptions); });

    auto recoverOptions = std::make_shared<RecoverOptions>();
    auto* recover = app.add_subcommand("recover", "Save what a damaged data file still holds into a new file");
    recover->add_option("FILE", recoverOptions->source, "The damaged data file (it is only read)")->required();
    recover->add_option("NEW", recoverOptions->dest, "The new data file (it must not exist)")->required();
    recover->add_option("--description", recoverOptions->description,
                        "Make NEW with the definition in this description file (as tydb stat --description "
                        "writes it), for a FILE whose own definition is damaged");
    recover->footer(
        "Copies every record that can still be read, at its own position, into NEW under FILE's\n"
        "definition and builds every key again; the scan goes on past damaged pages and lists each\n"
        "record lost by position. Exit 0 when nothing was lost, 1 when records were lost, 2 when NEW\n"
        "could not be made. Check NEW (tydb check), then put it in FILE's place while nothing runs.\n"
        "When FILE's own definition is damaged, give it with --description (taken from a backup with\n"
        "tydb stat BACKUP --description).");
    recover->callback([recoverOptions] { RunRecover(*recoverOptions); });
}

}  // namespace tool
