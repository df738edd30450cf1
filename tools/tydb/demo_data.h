// demo_data.h: the small company of `tydb demo`: its two data files, their record layouts and
// keys, and a generator of customers and invoices that gives the same records on every run.
#ifndef TYDB_TOOLS_DEMO_DATA_H
#define TYDB_TOOLS_DEMO_DATA_H

#include <cstdint>
#include <string>
#include <vector>

#include "btrcall.h"
#include "record_layout.h"

namespace tool {

// Layout files (the form tydb load and tydb export read) of the two files.
extern const char kCustomerLayoutText[];
extern const char kInvoiceLayoutText[];

constexpr int kCustomerRecordLength = 58;
constexpr int kInvoiceRecordLength = 32;

// Byte offsets of the fields the demo reads back.
constexpr int kCustomerNumberOffset = 0;
constexpr int kCustomerNameOffset = 4;
constexpr int kCustomerNameLength = 30;
constexpr int kCustomerCityOffset = 34;
constexpr int kCustomerCityLength = 20;
constexpr int kInvoiceNumberOffset = 0;
constexpr int kInvoiceCustomerOffset = 4;
constexpr int kInvoiceDateOffset = 8;
constexpr int kInvoiceDateLength = 8;
constexpr int kInvoiceAmountOffset = 16;

// Key definitions as `tydb create --key` takes them.
// Customers: key 0 the customer number (unique), key 1 the name (duplicates, UPPER sequence).
extern const std::vector<std::string> kCustomerKeys;
// Invoices: key 0 the invoice number (unique), key 1 customer and date, key 2 the date.
extern const std::vector<std::string> kInvoiceKeys;
// The amount: a field no permanent key of the invoices covers.
extern const char kAmountKey[];

struct Customer {
    int32_t number = 0;
    std::string name;  // "Surname, Given", in the capitals its clerk typed
    std::string city;
    int32_t balanceCents = 0;
};

struct Invoice {
    int32_t number = 0;
    int32_t customer = 0;
    std::string date;  // YYYYMMDD
    int32_t amountCents = 0;
    std::string text;
};

// Deterministic: record `index` is the same on every run and every platform.
class DemoGenerator {
public:
    explicit DemoGenerator(uint32_t seed = 20261207) : state_(seed) {}
    Customer NextCustomer(int32_t number);
    Invoice NextInvoice(int32_t number, int32_t customerCount);

private:
    uint32_t Next(uint32_t bound);
    uint64_t state_;
};

// The record bytes of a customer or invoice, encoded through `layout`.
bool EncodeCustomer(const RecordLayout& layout, const Customer& customer, std::vector<uint8_t>* record,
                    std::string* error);
bool EncodeInvoice(const RecordLayout& layout, const Invoice& invoice, std::vector<uint8_t>* record,
                   std::string* error);

// Fields read back from record bytes (which must be long enough).
int32_t ReadInt32(const uint8_t* record, int offset);
std::string ReadText(const uint8_t* record, int offset, int length);

// "1234.56" for 123456 cents.
std::string MoneyText(int64_t cents);

}  // namespace tool

#endif  // TYDB_TOOLS_DEMO_DATA_H
