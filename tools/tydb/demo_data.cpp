#include "demo_data.h"

#include <cstdio>
#include <cstring>

namespace tool {

const char kCustomerLayoutText[] =
    "# CUSTOMER.DAT: 58-byte records\n"
    "number   0  4  integer\n"
    "name     4 30  string\n"
    "city    34 20  string\n"
    "balance 54  4  integer   # cents\n";

const char kInvoiceLayoutText[] =
    "# INVOICE.DAT: 32-byte records\n"
    "number    0  4  integer\n"
    "customer  4  4  integer\n"
    "date      8  8  string   # YYYYMMDD\n"
    "amount   16  4  integer  # cents\n"
    "text     20 12  string\n";

const std::vector<std::string> kCustomerKeys = {"1:4:type=integer", "5:30:dup:upper"};
const std::vector<std::string> kInvoiceKeys = {"1:4:type=integer", "5:4:dup:type=integer,9:8:dup", "9:8:dup"};
const char kAmountKey[] = "17:4:dup:type=integer";

namespace {

const char* const kSurnames[] = {
    "Fischer", "Novak",  "Moreau",  "Jensen", "Rossi",   "Kowalski", "Silva",  "Brennan", "Okafor", "Lindqvist",
    "Haddad",  "Tanaka", "Petrov",  "Dubois", "Schmidt", "Murphy",   "Garcia", "Nilsen",  "Varga",  "Costa",
    "Weber",   "Keller", "Horvath", "Laine",  "Byrne",   "Almeida",  "Kaya",   "Sato",    "Meyer",  "Dupont",
};
const char* const kGivenNames[] = {
    "Ada",  "Ben",   "Clara", "David", "Elena", "Farid", "Greta", "Hugo", "Ines", "Jonas",
    "Kira", "Louis", "Maya",  "Nils",  "Olga",  "Paul",  "Rosa",  "Sven", "Tara", "Yusuf",
};
const char* const kCities[] = {
    "Lisbon", "Ghent", "Lyon", "Aarhus", "Turin", "Krakow", "Porto", "Cork", "Tampere", "Graz", "Bergen", "Pecs",
};
const char* const kItems[] = {
    "Paper", "Toner", "Chairs", "Desks", "Service", "Repairs", "Software", "Cables", "Lamps", "Coffee",
};

template <typename T, size_t N>
constexpr uint32_t CountOf(T (&)[N]) {
    return static_cast<uint32_t>(N);
}

std::string Capitals(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool Put(const RecordLayout& layout, const char* name, const std::string& value, std::vector<uint8_t>* record,
         std::string* error) {
    const int field = layout.Find(name);
    if (field < 0) {
        *error = std::string("the layout has no field ") + name;
        return false;
    }
    return EncodeField(layout.fields[static_cast<size_t>(field)], value, record->data(), error);
}

}  // namespace

uint32_t DemoGenerator::Next(uint32_t bound) {
    // A 64-bit linear congruential generator; its high bits are well mixed.
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>((state_ >> 33) % bound);
}

Customer DemoGenerator::NextCustomer(int32_t number) {
    Customer customer;
    customer.number = number;
    std::string name =
        std::string(kSurnames[Next(CountOf(kSurnames))]) + ", " + kGivenNames[Next(CountOf(kGivenNames))];
    // Clerks typed some names in capitals and some without: the name key sorts them together.
    const uint32_t style = Next(10);
    if (style == 0) name = Capitals(name, true);
    if (style == 1) name = Capitals(name, false);
    customer.name = name;
    customer.city = kCities[Next(CountOf(kCities))];
    customer.balanceCents = static_cast<int32_t>(Next(500000)) - 100000;
    return customer;
}

Invoice DemoGenerator::NextInvoice(int32_t number, int32_t customerCount) {
    Invoice invoice;
    invoice.number = number;
    invoice.customer = 1 + static_cast<int32_t>(Next(static_cast<uint32_t>(customerCount)));
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", 2024 + Next(3), 1 + Next(12), 1 + Next(28));
    invoice.date = date;
    // Mostly small amounts, now and then a large one.
    invoice.amountCents = static_cast<int32_t>(Next(20) == 0 ? 100000 + Next(2000000) : 500 + Next(99500));
    invoice.text = kItems[Next(CountOf(kItems))];
    return invoice;
}

bool EncodeCustomer(const RecordLayout& layout, const Customer& customer, std::vector<uint8_t>* record,
                    std::string* error) {
    record->assign(kCustomerRecordLength, 0);
    return Put(layout, "number", std::to_string(customer.number), record, error) &&
           Put(layout, "name", customer.name, record, error) && Put(layout, "city", customer.city, record, error) &&
           Put(layout, "balance", std::to_string(customer.balanceCents), record, error);
}

bool EncodeInvoice(const RecordLayout& layout, const Invoice& invoice, std::vector<uint8_t>* record,
                   std::string* error) {
    record->assign(kInvoiceRecordLength, 0);
    return Put(layout, "number", std::to_string(invoice.number), record, error) &&
           Put(layout, "customer", std::to_string(invoice.customer), record, error) &&
           Put(layout, "date", invoice.date, record, error) &&
           Put(layout, "amount", std::to_string(invoice.amountCents), record, error) &&
           Put(layout, "text", invoice.text, record, error);
}

int32_t ReadInt32(const uint8_t* record, int offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(record[offset + i]) << (8 * i);
    return static_cast<int32_t>(value);
}

std::string ReadText(const uint8_t* record, int offset, int length) {
    std::string text(reinterpret_cast<const char*>(record + offset), static_cast<size_t>(length));
    const size_t end = text.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string MoneyText(int64_t cents) {
    char text[32];
    const int64_t whole = cents / 100, part = cents % 100;
    std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "",
                  static_cast<long long>(whole < 0 ? -whole : whole), static_cast<long long>(part < 0 ? -part : part));
    return text;
}

}  // namespace tool
