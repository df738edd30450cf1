#include "demo_steps.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "demo_data.h"
#include "index_log_reader.h"
#include "key_options.h"
#include "platform.h"
#include "progress_bar.h"
#include "registry_reader.h"
#include "status_text.h"
#include "tool_location.h"
#include "tydb.h"
#include "tydb_files.h"

namespace tool {
namespace {

constexpr int16_t kOpenNormal = 0;
constexpr int16_t kModeGetPosition = 23;
constexpr int kKeyBufferSize = 256;
constexpr int16_t kHalfway = 5000;  // hundredths of a percent
constexpr const char* kLockFileName = TYDB_LOCK_FILE_NAME;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 10 ? "%.2f s" : "%.1f s", seconds);
    return text;
}

std::string CustomerLine(const uint8_t* record) {
    char line[160];
    std::snprintf(line, sizeof line, "#%-5d %-30s %s", ReadInt32(record, kCustomerNumberOffset),
                  ReadText(record, kCustomerNameOffset, kCustomerNameLength).c_str(),
                  ReadText(record, kCustomerCityOffset, kCustomerCityLength).c_str());
    return line;
}

std::string InvoiceLine(const uint8_t* record) {
    const std::string date = ReadText(record, kInvoiceDateOffset, kInvoiceDateLength);
    char line[160];
    std::snprintf(line, sizeof line, "invoice %-6d customer %-5d %s-%s-%s %12s",
                  ReadInt32(record, kInvoiceNumberOffset), ReadInt32(record, kInvoiceCustomerOffset),
                  date.substr(0, 4).c_str(), date.substr(4, 2).c_str(), date.substr(6, 2).c_str(),
                  MoneyText(ReadInt32(record, kInvoiceAmountOffset)).c_str());
    return line;
}

void PutInt32(char* buffer, int32_t value) {
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

DemoSteps::DemoSteps(std::string folder, std::chrono::steady_clock::time_point started)
    : folder_(std::move(folder)), started_(started) {}

std::string DemoSteps::PathOf(const std::string& name) const { return folder_ + "/" + name; }

void DemoSteps::Check(int32_t status, const std::string& what) const {
    if (status != 0) Fail(1, what + ": status " + DescribeStatus(status));
}

void DemoSteps::Section(const std::string& title) {
    sectionTitle_ = title;
    sectionStart_ = std::chrono::steady_clock::now();
    std::cout << "\n== " << title << "\n";
}

void DemoSteps::EndSection() {
    timings_.emplace_back(sectionTitle_, SecondsSince(sectionStart_));
    std::cout.flush();
}

void DemoSteps::RunAll(int customers, int invoices) {
    std::string error;
    if (!ParseLayout(kCustomerLayoutText, &customerLayout_, &error) ||
        !ParseLayout(kInvoiceLayoutText, &invoiceLayout_, &error)) {
        Fail(1, "the demo's own layouts do not parse: " + error);
    }
    SetDirectories();
    CreateFiles();
    OpenFiles();
    LoadCustomers(customers);
    LoadInvoices(invoices, customers);
    ReadByKey(customers);
    ReadByPosition(customers);
    SupplementalKey();
    CloseFiles();
    Report();
}

void DemoSteps::SetDirectories() {
    Section("1. The record manager and the data directory");
    int32_t version = 0, revision = 0;
    char type[2] = {};
    Check(DbGetEngineVersion(&version, &revision, type), "the record manager does not answer");
    std::cout << "Record manager loaded through the settings PATH: version " << version << "." << revision << ", type "
              << type << "\n";

    // On POSIX a directory slot keeps its trailing '/', so it matches the files inside it.
    const std::string slot = folder_ + "/";
    if (slot.size() >= TYDB_DIRECTORY_SLOT_SIZE) Fail(2, "the folder's path is too long for a directory slot");
    TydbDirectoryBlock block = {};
    std::memcpy(block.directories[0], slot.c_str(), slot.size() + 1);
    std::memcpy(block.directories[TYDB_LOCK_SLOT], slot.c_str(), slot.size() + 1);
    block.lockDisabled = 0;
    block.shareOpenFiles = 1;
    Check(DbSetDirectories(&block), "DbSetDirectories");
    std::cout << "Directory block: slot 0 (data) and slot 3 (lock directory) = " << slot
              << "\n  sharing of repeated opens on; the workstation lock guards the folder\n";
    EndSection();
}

void DemoSteps::CreateFiles() {
    Section("2. Create the data files");
    struct FileToMake {
        const char* name;
        int recordLength;
        const std::vector<std::string>* keys;
        const char* layoutName;
        const char* layoutText;
        const char* description;
    };
    const FileToMake files[] = {
        {"CUSTOMER.DAT", kCustomerRecordLength, &kCustomerKeys, "customer.layout", kCustomerLayoutText,
         "key 0 number (unique), key 1 name (duplicates, UPPER collating sequence: case-blind)"},
        {"INVOICE.DAT", kInvoiceRecordLength, &kInvoiceKeys, "invoice.layout", kInvoiceLayoutText,
         "key 0 number (unique), key 1 customer + date, key 2 date"},
    };
    for (const FileToMake& file : files) {
        BtrFileSpec spec = {};
        spec.recordLength = static_cast<int16_t>(file.recordLength);
        spec.pageSize = 4096;
        spec.keyCount = static_cast<uint8_t>(file.keys->size());
        std::vector<BtrKeySpec> segments;
        for (const std::string& text : *file.keys) {
            std::vector<BtrKeySpec> key;
            std::string error;
            if (!ParseKey(text, &key, &error)) Fail(1, "the demo's key " + text + ": " + error);
            segments.insert(segments.end(), key.begin(), key.end());
        }
        segments.push_back(BtrKeySpec{});
        Check(DbCreateFile(PathOf(file.name).c_str(), &spec, segments.data()), std::string("creating ") + file.name);
        std::ofstream(PathOf(file.layoutName)) << file.layoutText;
        char name[16];
        std::snprintf(name, sizeof name, "%-14s", file.name);
        std::cout << name << file.recordLength << "-byte records; " << file.description << "\n";
    }
    std::cout << "Layout files for tydb load/export: customer.layout, invoice.layout\n";
    EndSection();
}

void DemoSteps::OpenFiles() {
    Check(DbOpen(&customers_, PathOf("CUSTOMER.DAT").c_str(), kOpenNormal, 0), "opening CUSTOMER.DAT");
    Check(DbOpen(&invoices_, PathOf("INVOICE.DAT").c_str(), kOpenNormal, 0), "opening INVOICE.DAT");
}

void DemoSteps::LoadCustomers(int count) {
    Section("3. Load generated records");
    DemoGenerator generator;
    std::vector<uint8_t> record;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ProgressBar progress(std::cout, platform::IsTerminal(1), "Customers", count);
    for (int number = 1; number <= count; ++number) {
        if (!EncodeCustomer(customerLayout_, generator.NextCustomer(number), &record, &error)) Fail(1, error);
        char key[kKeyBufferSize] = {};
        Check(DbModify(btr::kOpInsert, customers_, key, record.data(), 0),
              "inserting customer " + std::to_string(number));
        progress.Update(number);
    }
    progress.Finish();
    const double seconds = SecondsSince(start);
    loadedRecords_ += count;
    loadSeconds_ += seconds;
    std::cout << count << " customers inserted in " << Seconds(seconds) << "\n";
}

void DemoSteps::LoadInvoices(int count, int customers) {
    DemoGenerator generator(7);
    std::vector<uint8_t> record;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ProgressBar progress(std::cout, platform::IsTerminal(1), "Invoices", count);
    for (int number = 1; number <= count; ++number) {
        if (!EncodeInvoice(invoiceLayout_, generator.NextInvoice(number, customers), &record, &error)) Fail(1, error);
        char key[kKeyBufferSize] = {};
        Check(DbModify(btr::kOpInsert, invoices_, key, record.data(), 0),
              "inserting invoice " + std::to_string(number));
        progress.Update(number);
    }
    progress.Finish();
    const double seconds = SecondsSince(start);
    loadedRecords_ += count;
    loadSeconds_ += seconds;
    invoiceCount_ = count;
    std::cout << count << " invoices inserted in " << Seconds(seconds) << "  ("
              << static_cast<long>(loadedRecords_ / (loadSeconds_ > 0 ? loadSeconds_ : 1)) << " records a second)\n";

    // The lock file exists while files under the lock directory are open.
    char holder[256] = {};
    std::ifstream lock(PathOf(kLockFileName), std::ios::binary);
    lock.read(holder, sizeof holder - 1);
    std::cout << "Workstation lock: " << kLockFileName << " is there, held for \"" << holder
              << "\" while files are open\n";
    EndSection();
}

void DemoSteps::ReadByKey(int customers) {
    Section("4. Read by key");
    std::vector<uint8_t> data(kCustomerRecordLength > kInvoiceRecordLength ? kCustomerRecordLength
                                                                           : kInvoiceRecordLength);
    char key[kKeyBufferSize] = {};

    const int32_t wanted = customers / 2 + 17 > customers ? 1 : customers / 2 + 17;
    DbOverRideDef(customers_, 0, -1);
    PutInt32(key, wanted);
    Check(DbRead(btr::kOpGetEqual, customers_, key, data.data(), 0), "Get Equal on the customer number");
    std::cout << "Get Equal, key 0 (number " << wanted << "):\n    " << CustomerLine(data.data()) << "\n";
    const std::string surname = ReadText(data.data(), kCustomerNameOffset, kCustomerNameLength);
    const std::string family = Upper(surname.substr(0, surname.find(',')));

    // The name key uses the UPPER collating sequence: a lower-case search finds every spelling.
    DbOverRideDef(customers_, 1, -1);
    std::memset(key, ' ', kCustomerNameLength);
    std::string search = family;
    for (char& c : search) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::memcpy(key, search.data(), search.size());
    int32_t status = DbRead(btr::kOpGetGreaterOrEqual, customers_, key, data.data(), 0);
    int found = 0;
    std::cout << "Get Greater or Equal, key 1 (\"" << search << "\", any capitals), then Get Next:\n";
    while (status == 0 &&
           Upper(ReadText(data.data(), kCustomerNameOffset, kCustomerNameLength)).rfind(family + ",", 0) == 0) {
        if (++found <= 4) std::cout << "    " << CustomerLine(data.data()) << "\n";
        status = DbRead(btr::kOpGetNext, customers_, key, data.data(), 0);
    }
    std::cout << "    ... " << found << " customers named " << family << " in all spellings\n";

    // Key 1 of the invoices: customer number, then date.
    DbOverRideDef(invoices_, 1, -1);
    std::memset(key, 0, sizeof key);
    PutInt32(key, wanted);
    std::memset(key + 4, '0', 8);
    status = DbRead(btr::kOpGetGreaterOrEqual, invoices_, key, data.data(), 0);
    int64_t total = 0;
    found = 0;
    std::cout << "Invoices of customer " << wanted << " by date (key 1: customer + date):\n";
    while (status == 0 && ReadInt32(data.data(), kInvoiceCustomerOffset) == wanted) {
        std::cout << "    " << InvoiceLine(data.data()) << "\n";
        total += ReadInt32(data.data(), kInvoiceAmountOffset);
        ++found;
        status = DbRead(btr::kOpGetNext, invoices_, key, data.data(), 0);
    }
    std::cout << "    " << found << " invoices, " << MoneyText(total) << " in all\n";

    // A walk along the date key.
    const auto start = std::chrono::steady_clock::now();
    DbOverRideDef(invoices_, 2, -1);
    int walked = 0;
    std::string first, last;
    for (status = DbRead(btr::kOpGetFirst, invoices_, key, data.data(), 0); status == 0;
         status = DbRead(btr::kOpGetNext, invoices_, key, data.data(), 0)) {
        if (walked++ == 0) first = ReadText(data.data(), kInvoiceDateOffset, kInvoiceDateLength);
        last = ReadText(data.data(), kInvoiceDateOffset, kInvoiceDateLength);
    }
    if (status != btr::kStatusEndOfFile) Check(status, "walking the invoices by date");
    const double seconds = SecondsSince(start);
    std::cout << "Get First + Get Next along key 2 (date): " << walked << " invoices from " << first << " to " << last
              << " in " << Seconds(seconds) << "\n";
    EndSection();
}

void DemoSteps::ReadByPosition(int customers) {
    Section("5. Read by position");
    std::vector<uint8_t> data(kCustomerRecordLength);
    char key[kKeyBufferSize] = {};
    const int32_t wanted = customers / 3 + 1;
    DbOverRideDef(customers_, 0, -1);
    PutInt32(key, wanted);
    Check(DbRead(btr::kOpGetEqual, customers_, key, data.data(), 0), "Get Equal on the customer number");
    uint32_t position = 0;
    Check(DbPosition(kModeGetPosition, customers_, &position), "Get Position");
    std::cout << "Get Position of customer " << wanted << ": " << position << "\n";

    // Move away, then come back by the position alone.
    Check(DbRead(btr::kOpGetLast, customers_, key, data.data(), 0), "Get Last");
    std::memset(key, 0, sizeof key);
    std::memcpy(key, &position, sizeof position);
    Check(DbRead(btr::kOpGetDirect, customers_, key, data.data(), 0), "Get Direct");
    std::cout << "Get Last, then Get Direct at " << position << ":\n    " << CustomerLine(data.data()) << "\n";

    DbOverRideDef(customers_, 1, -1);
    Check(DbGetByPercent(customers_, key, data.data(), 0, kHalfway), "Get By Percentage");
    std::cout << "Get By Percentage 50.00% along key 1 (name), the middle of the alphabet:\n    "
              << CustomerLine(data.data()) << "\n";
    EndSection();
}

void DemoSteps::ShowRegistry() {
    std::vector<RegistryEntry> entries;
    const std::string path = RegistryPathInDirectory(folder_);
    Check(ReadRegistry(path, &entries), "reading the registry " + path);
    for (const auto& entry : entries) {
        std::cout << "    " << entry.fileName << "  key " << entry.keyNumber << ", " << entry.segments
                  << (entry.segments == 1 ? " segment" : " segments") << ", active references " << entry.active
                  << ", total references " << entry.total << ", last use "
                  << LastUseText(entry.lastUseDate, entry.lastUseTime) << "\n";
    }
    if (entries.empty()) std::cout << "    (no entries)\n";
}

void DemoSteps::SupplementalKey() {
    Section("6. A supplemental key: invoices by amount");
    std::vector<BtrKeySpec> definition;
    std::string error;
    if (!ParseKey(kAmountKey, &definition, &error)) Fail(1, error);
    std::cout << "The amount (bytes 17 to 20) is in no permanent key: DbFindPermanentKey gives "
              << DbFindPermanentKey(invoices_, definition.data()) << "\n";

    const auto start = std::chrono::steady_clock::now();
    const auto length = static_cast<int16_t>(definition.size() * sizeof(BtrKeySpec));
    Check(DbActivateKey(invoices_, length, definition.data()), "DbActivateKey on the amount");
    int32_t keyNumber = -1;
    DbGetOverRideDef(invoices_, &keyNumber, nullptr);
    std::cout << "DbActivateKey built supplemental key " << keyNumber << " over " << invoiceCount_ << " invoices in "
              << Seconds(SecondsSince(start)) << "; it is now the file's current key\n";

    std::vector<uint8_t> data(kInvoiceRecordLength);
    char key[kKeyBufferSize] = {};
    std::cout << "Get Last, then Get Previous, on key " << keyNumber << ": the largest invoices\n";
    int32_t status = DbRead(btr::kOpGetLast, invoices_, key, data.data(), 0);
    for (int shown = 0; status == 0 && shown < 5; ++shown) {
        std::cout << "    " << InvoiceLine(data.data()) << "\n";
        status = DbRead(btr::kOpGetPrevious, invoices_, key, data.data(), 0);
    }
    std::memset(key, 0, sizeof key);
    PutInt32(key, 100000);
    int over = 0;
    for (status = DbRead(btr::kOpGetGreaterOrEqual, invoices_, key, data.data(), 0); status == 0;
         status = DbRead(btr::kOpGetNext, invoices_, key, data.data(), 0)) {
        ++over;
    }
    std::cout << "Get Greater or Equal 1000.00, then Get Next: " << over << " invoices of 1000.00 or more\n";

    std::cout << "Registry " << RegistryPathInDirectory(folder_) << " (shared by every workstation):\n";
    ShowRegistry();

    std::ifstream in(PathOf(TYDB_LOG_FILE_NAME), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const IndexLog log = ParseIndexLog(text.str());
    if (log.entries.empty()) {
        std::cout << "Index log: no entry (is the setting \"Index Log\" on?)\n";
    } else {
        const IndexLogEntry& entry = log.entries.back();
        std::cout << "Index log " << PathOf(TYDB_LOG_FILE_NAME) << ", its entry:\n    " << entry.action << "\n";
        for (const auto& [label, value] : entry.fields) std::cout << "      " << label << ": " << value << "\n";
    }

    Check(DbDeactivateKey(invoices_), "DbDeactivateKey");
    std::cout << "DbDeactivateKey: one user fewer; the key stays in the file, idle, until a later\n"
                 "activation needs its room. The registry now says:\n";
    ShowRegistry();
    EndSection();
}

void DemoSteps::CloseFiles() {
    Check(DbCloseAll(), "DbCloseAll");
    const bool lockGone = !std::filesystem::exists(PathOf(kLockFileName));
    std::cout << "\nDbCloseAll: files closed; the last close " << (lockGone ? "removed" : "did NOT remove")
              << " the lock file " << kLockFileName << "\n";
    if (!lockGone) Fail(1, "the lock file is still there after the last close");
}

void DemoSteps::Report() {
    std::cout << "\n== Report\n";
    char line[160];
    for (const auto& [title, seconds] : timings_) {
        std::snprintf(line, sizeof line, "  %-52s %9s\n", title.c_str(), Seconds(seconds).c_str());
        std::cout << line;
    }
    std::snprintf(line, sizeof line, "  %-52s %9s\n", "Whole demo", Seconds(SecondsSince(started_)).c_str());
    std::cout << line;
    std::cout << "\nThe folder keeps what the library left there:\n";
    // In a served folder the data files (the registry among them) are the server's.
    const bool served = std::filesystem::exists(PathOf("w3btrv7.server"));
    for (const char* name : {"CUSTOMER.DAT", "INVOICE.DAT", TYDB_REGISTRY_FILE_NAME, TYDB_LOG_FILE_NAME, "tywreg.ini",
                             "customer.layout", "invoice.layout"}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(PathOf(name), error);
        const bool dataFile =
            std::string(name).find(".DAT") != std::string::npos || std::string(name) == TYDB_REGISTRY_FILE_NAME;
        std::string where = !error ? std::to_string(size) + " bytes" : served && dataFile ? "on the server" : "missing";
        std::snprintf(line, sizeof line, "  %-16s %13s\n", name, where.c_str());
        std::cout << line;
    }
    const std::string tool = ProgramInFolder(ToolFolder(), "tydb");
    std::cout << "\nTry next:\n"
              << "  " << SetEnvironmentCommand("TYWREG_FILE", PathOf("tywreg.ini")) << "\n"
              << "  " << tool << " stat " << PathOf("INVOICE.DAT") << "\n"
              << "  " << tool << " keys " << PathOf("INVOICE.DAT") << "\n"
              << "  " << tool << " registry " << folder_ << "\n"
              << "  " << tool << " log " << folder_ << "\n"
              << "  " << tool << " export " << PathOf("CUSTOMER.DAT") << " --key 1 --layout "
              << PathOf("customer.layout") << "\n";
    std::cout.flush();
}

}  // namespace tool
