// The exact requests of the record operations, seen by the recording fake: where the file's
// operation bias is added and where not, which key number and key buffer go out, and what is
// refused before any request.
#include <cstring>

#include "record_fixture.h"

using namespace recordtest;
using testsupport::FakeCall;

namespace {

constexpr int32_t kBias = 200;
constexpr int16_t kKeyNumber = 1;
constexpr int kNoRequest = 0;

// A file opened behind the fake, with key number 1 and bias 200 as the file's defaults, and
// the request log cleared. Requests the test does not script reach the real record manager.
class RecordRequestTest : public FakeEngineTest {
protected:
    void SetUp() override {
        FakeEngineTest::SetUp();
        handle = Open(CreateNamesFile({"alpha", "bravo", "charlie"}));
        ASSERT_EQ(DbOverRideDef(handle, kKeyNumber, kBias), 0);
        fake->ClearLog();
    }
    int16_t handle = 0;
};

std::string Hex(const void* bytes, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < 16; ++i) {
        unsigned char c = i < length ? static_cast<const unsigned char*>(bytes)[i] : 0;
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

TEST_F(RecordRequestTest, ReadAddsTheBiasAndUsesTheFilesKeyNumber) {
    char key[256] = {};
    Record record;
    DbRead(btr::kOpGetFirst, handle, key, record.bytes, 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].operation, btr::kOpGetFirst + kBias);
    EXPECT_EQ(calls[0].keyNumber, kKeyNumber);
    EXPECT_EQ(calls[0].dataLength, static_cast<uint32_t>(kRecordLength));
}

TEST_F(RecordRequestTest, ExplicitDataLengthReplacesTheRecordLength) {
    char key[256] = {};
    char data[100] = {};
    DbRead(btr::kOpGetFirst, handle, key, data, 100);
    ASSERT_EQ(fake->Calls().size(), 1u);
    EXPECT_EQ(fake->Calls()[0].dataLength, 100u);
}

TEST_F(RecordRequestTest, KeepPositionSavesReadsAndRestoresAllBiased) {
    fake->Script(btr::kOpGetPosition + kBias, "*", 0, 4, std::string("\x07\x00\x00\x00", 4));
    fake->Script(btr::kOpGetNext + kBias, "*", 0);
    fake->Script(btr::kOpGetDirect + kBias, "*", 0);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetNext + TYDB_KEEP_POSITION, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{222, 206, 223}));
    const auto calls = fake->Calls();
    EXPECT_EQ(calls[0].dataLength, 4u);
    EXPECT_EQ(calls[2].dataLength, static_cast<uint32_t>(kRecordLength));
    EXPECT_EQ(calls[2].keyNumber, kKeyNumber);
}

TEST_F(RecordRequestTest, FailingKeepPositionReadMakesNoRestore) {
    fake->Script(btr::kOpGetPosition + kBias, "*", 0, 4, std::string("\x07\x00\x00\x00", 4));
    fake->Script(btr::kOpGetNext + kBias, "*", btr::kStatusEndOfFile);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetNext + TYDB_KEEP_POSITION, handle, key, record.bytes, 0), btr::kStatusEndOfFile);
    EXPECT_EQ(Operations(), (std::vector<int>{222, 206}));
}

TEST_F(RecordRequestTest, KeepPositionWithoutAPositionReadsButMakesNoRestore) {
    fake->Script(btr::kOpGetPosition + kBias, "*", btr::kStatusInvalidPositioning);
    fake->Script(btr::kOpGetNext + kBias, "*", 0);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetNext + TYDB_KEEP_POSITION, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{222, 206}));
}

TEST_F(RecordRequestTest, FailedRestoreIsReportedUnlessTheRecordIsGone) {
    fake->Script(btr::kOpGetPosition + kBias, "*", 0, 4, std::string("\x07\x00\x00\x00", 4));
    fake->Script(btr::kOpGetNext + kBias, "*", 0);
    fake->Script(btr::kOpGetDirect + kBias, "1", btr::kStatusInvalidRecordAddress);
    fake->Script(btr::kOpGetDirect + kBias, "2", btr::kStatusRecordInUse);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetNext + TYDB_KEEP_POSITION, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(DbRead(btr::kOpGetNext + TYDB_KEEP_POSITION, handle, key, record.bytes, 0), btr::kStatusRecordInUse);
}

TEST_F(RecordRequestTest, GetDirectCopiesThePositionAndSendsAScratchKey) {
    fake->Script(btr::kOpGetDirect + kBias, "*", 0);
    fake->Script(btr::kOpGetDirect + btr::kBiasSingleWaitLock + kBias, "*", 0);
    for (int16_t operation : {int16_t(23), int16_t(123)}) {
        fake->ClearLog();
        char key[256];
        std::memset(key, 0x11, sizeof key);
        std::memcpy(key, "\x2a\x00\x00\x00", 4);
        Record record;
        std::memset(record.bytes, 0x77, sizeof record.bytes);
        EXPECT_EQ(DbRead(operation, handle, key, record.bytes, 0), 0);
        EXPECT_EQ(std::memcmp(record.bytes, "\x2a\x00\x00\x00", 4), 0) << operation;
        const auto calls = fake->Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].operation, operation + kBias);
        EXPECT_EQ(calls[0].keyHex, std::string(32, '0')) << "a zero-filled scratch key buffer";
    }
}

TEST_F(RecordRequestTest, GetDirect73Sends23WithTheCallersKeyBufferAndDataUntouched) {
    fake->Script(btr::kOpGetDirect + kBias, "*", 0);
    fake->Script(btr::kOpGetDirect + btr::kBiasSingleNoWaitLock + kBias, "*", 0);
    for (int16_t operation : {int16_t(73), int16_t(273)}) {
        fake->ClearLog();
        char key[256] = {};
        std::memcpy(key, "caller-key", 10);
        Record record;
        std::memcpy(record.bytes, "\x05\x00\x00\x00rest", 8);
        EXPECT_EQ(DbRead(operation, handle, key, record.bytes, 0), 0);
        EXPECT_EQ(std::memcmp(record.bytes, "\x05\x00\x00\x00rest", 8), 0);
        const auto calls = fake->Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].operation, operation - 50 + kBias);
        EXPECT_EQ(calls[0].keyHex, Hex(key, 10));
    }
}

TEST_F(RecordRequestTest, GetDirectWithoutKeyBufferIsRefusedWithoutARequest) {
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetDirect, handle, nullptr, record.bytes, 0), btr::kStatusInvalidRecordAddress);
    EXPECT_EQ(DbRead(btr::kOpGetDirect + 100 + TYDB_KEEP_POSITION, handle, nullptr, record.bytes, 0),
              btr::kStatusInvalidRecordAddress);
    char key[256] = {};
    EXPECT_EQ(DbRead(btr::kOpGetDirect, handle, key, nullptr, 0), TYDB_STATUS_NO_BUFFER);
    EXPECT_EQ(fake->Calls().size(), static_cast<size_t>(kNoRequest));
}

TEST_F(RecordRequestTest, GetDirectWithADataLengthShorterThanAPositionIsRefusedUntouched) {
    char key[256] = {};
    std::memcpy(key, "\x2a\x00\x00\x00", 4);
    for (int16_t operation : {int16_t(23), int16_t(123), int16_t(23 + TYDB_KEEP_POSITION)}) {
        char data[8];
        std::memset(data, 0x77, sizeof data);
        EXPECT_EQ(DbRead(operation, handle, key, data, 2), btr::kStatusDataLengthError) << operation;
        EXPECT_EQ(std::string(data, sizeof data), std::string(sizeof data, '\x77')) << operation;
    }
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(RecordRequestTest, NullKeyBufferIsReplacedByAScratchBuffer) {
    fake->Script(btr::kOpGetFirst + kBias, "*", 0);
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetFirst, handle, nullptr, record.bytes, 0), 0);
    ASSERT_EQ(fake->Calls().size(), 1u);
    EXPECT_EQ(fake->Calls()[0].keyHex, std::string(32, '0'));
}

TEST_F(RecordRequestTest, LastDataLengthIsKeptAlsoForFailingReads) {
    fake->Script(btr::kOpGetEqual + kBias, "1", btr::kStatusKeyNotFound, 7, "");
    fake->Script(btr::kOpGetEqual + kBias, "2", btr::kStatusDataLengthError, 0xFFFF, "");
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetEqual, handle, key, record.bytes, 0), btr::kStatusKeyNotFound);
    EXPECT_EQ(DbGetLastDataLength(handle), 7);
    // The 16-bit length is widened with its sign.
    EXPECT_EQ(DbRead(btr::kOpGetEqual, handle, key, record.bytes, 0), btr::kStatusDataLengthError);
    EXPECT_EQ(DbGetLastDataLength(handle), -1);
}

TEST_F(RecordRequestTest, PositionRequestsAreBiased) {
    fake->Script(btr::kOpGetPosition + kBias, "*", 0, 4, std::string("\x09\x00\x00\x00", 4));
    fake->Script(btr::kOpGetDirect + kBias, "*", 0);
    fake->Script(btr::kOpGetFirst + kBias, "*", 0);
    uint8_t position[4] = {};
    EXPECT_EQ(DbPosition(23, handle, position), 0);
    EXPECT_EQ(std::memcmp(position, "\x09\x00\x00\x00", 4), 0);
    EXPECT_EQ(DbPosition(0, handle, position), 0);
    EXPECT_EQ(DbPosition(1, handle, nullptr), 0);
    const uint8_t zero[4] = {};
    EXPECT_EQ(DbPosition(0, handle, const_cast<uint8_t*>(zero)), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{222, 223, 212, 212}));
    const auto calls = fake->Calls();
    EXPECT_EQ(calls[0].dataLength, 4u);
    EXPECT_EQ(calls[1].dataLength, static_cast<uint32_t>(kRecordLength));
    for (const FakeCall& call : calls) EXPECT_EQ(call.keyNumber, kKeyNumber);
}

TEST_F(RecordRequestTest, ModifyAddsTheBiasAndDeleteByKeyLooksTheKeyUpFirst) {
    fake->Script(btr::kOpGetEqual + kBias, "*", 0);
    fake->Script(btr::kOpInsert + kBias, "*", 0);
    fake->Script(btr::kOpUpdate + kBias, "*", 0);
    fake->Script(btr::kOpDelete + kBias, "*", 0);
    char key[256] = {};
    std::memcpy(key, "lookup", 6);
    Record record;
    EXPECT_EQ(DbModify(btr::kOpInsert, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(DbModify(btr::kOpUpdate, handle, nullptr, record.bytes, 0), 0);
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, nullptr, record.bytes, 0), 0);
    EXPECT_EQ(Operations(), (std::vector<int>{202, 203, 205, 204, 204}));
    const auto calls = fake->Calls();
    EXPECT_EQ(calls[2].keyHex, Hex(key, 6));
    EXPECT_EQ(calls[1].keyHex, std::string(32, '0'));
    for (const FakeCall& call : calls) EXPECT_EQ(call.keyNumber, kKeyNumber);
}

TEST_F(RecordRequestTest, DeleteByKeyReports4WhateverTheLookupFailedWith) {
    fake->Script(btr::kOpGetEqual + kBias, "*", btr::kStatusRecordInUse);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbModify(btr::kOpDelete, handle, key, record.bytes, 0), btr::kStatusKeyNotFound);
    EXPECT_EQ(Operations(), (std::vector<int>{205}));
}

TEST_F(RecordRequestTest, ModifyLeavesTheLastDataLengthAlone) {
    fake->Script(btr::kOpInsert + kBias, "*", 0, 99, "");
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbModify(btr::kOpInsert, handle, key, record.bytes, 0), 0);
    EXPECT_EQ(DbGetLastDataLength(handle), 0);
}

TEST_F(RecordRequestTest, UnlockIsUnbiasedAndTakesItsKeyNumberFromTheMode) {
    fake->Script(btr::kOpUnlock, "*", 0);
    const uint8_t position[4] = {0x0c, 0, 0, 0};
    EXPECT_EQ(DbUnlock(27, handle, nullptr), 0);
    EXPECT_EQ(DbUnlock(-1, handle, position), 0);
    EXPECT_EQ(DbUnlock(-2, handle, nullptr), 0);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].operation, btr::kOpUnlock);
    EXPECT_EQ(calls[0].keyNumber, 0);
    EXPECT_EQ(calls[1].keyNumber, -1);
    EXPECT_EQ(calls[1].keyHex, Hex(position, 4)) << "the position travels as data and key";
    EXPECT_EQ(calls[1].dataLength, 4u);
    EXPECT_EQ(calls[2].keyNumber, -2);
}

TEST_F(RecordRequestTest, PercentReadsAreBiasedAndThePhysicalOneUsesKeyNumberMinusOne) {
    fake->Script(btr::kOpGetByPercentage + kBias, "*", 0);
    char key[256] = {};
    Record record;
    EXPECT_EQ(DbGetByPercent(handle, key, record.bytes, 0, 2500), 0);
    int16_t written;
    std::memcpy(&written, record.bytes, 2);
    EXPECT_EQ(written, 2500);
    EXPECT_EQ(DbGetByPercentPhysical(handle, key, record.bytes, 0, 10000), 0);
    std::memcpy(&written, record.bytes, 2);
    EXPECT_EQ(written, 10000);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].operation, btr::kOpGetByPercentage + kBias);
    EXPECT_EQ(calls[0].keyNumber, kKeyNumber);
    EXPECT_EQ(calls[1].operation, btr::kOpGetByPercentage + kBias);
    EXPECT_EQ(calls[1].keyNumber, -1);
}

TEST_F(RecordRequestTest, PercentReadWithADataLengthShorterThanThePercentageIsRefusedUntouched) {
    char key[256] = {};
    char data[4];
    std::memset(data, 0x77, sizeof data);
    EXPECT_EQ(DbGetByPercent(handle, key, data, 1, 5000), btr::kStatusDataLengthError);
    EXPECT_EQ(DbGetByPercentPhysical(handle, key, data, 1, 5000), btr::kStatusDataLengthError);
    EXPECT_EQ(std::string(data, sizeof data), std::string(sizeof data, '\x77'));
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(RecordRequestTest, FindPercentIsUnbiasedAndWritesThePercentageWhateverTheStatus) {
    fake->Script(btr::kOpFindPercentage, "1", 0, 4, std::string("\x10\x27\x00\x00", 4));
    fake->Script(btr::kOpFindPercentage, "2", btr::kStatusInvalidRecordAddress, 4, std::string("\x34\x12\x00\x00", 4));
    char key[256] = {};
    std::memcpy(key, "value", 5);
    int16_t percentage = -1;
    EXPECT_EQ(DbFindPercent(handle, key, &percentage), 0);
    EXPECT_EQ(percentage, 10000);
    const uint8_t position[4] = {0x21, 0, 0, 0};
    EXPECT_EQ(DbFindPercentPhysical(handle, position, &percentage), btr::kStatusInvalidRecordAddress);
    EXPECT_EQ(percentage, 0x1234);
    const auto calls = fake->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].operation, btr::kOpFindPercentage);
    EXPECT_EQ(calls[0].keyNumber, kKeyNumber);
    EXPECT_EQ(calls[0].keyHex, Hex(key, 5));
    EXPECT_EQ(calls[0].dataLength, 4u);
    EXPECT_EQ(calls[1].operation, btr::kOpFindPercentage);
    EXPECT_EQ(calls[1].keyNumber, -1);
    EXPECT_EQ(calls[1].keyHex, "-") << "no key buffer for the physical form";
}

TEST_F(RecordRequestTest, PhysicalFindWithoutAPositionIsRefusedWithoutARequest) {
    int16_t percentage = 77;
    EXPECT_EQ(DbFindPercentPhysical(handle, nullptr, &percentage), btr::kStatusInvalidRecordAddress);
    EXPECT_EQ(percentage, 77);
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(RecordRequestTest, InvalidHandlesAreRefusedBeforeAnyRequestOrOutput) {
    char key[256] = {};
    Record record;
    std::memset(record.bytes, 0x33, sizeof record.bytes);
    uint8_t position[4] = {1, 2, 3, 4};
    int16_t percentage = 55;
    for (int16_t bad : {int16_t(0), int16_t(65), int16_t(-3), int16_t(handle + 1)}) {
        EXPECT_EQ(DbRead(btr::kOpGetFirst, bad, key, record.bytes, 0), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbRead(btr::kOpGetDirect, bad, nullptr, record.bytes, 0), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbPosition(23, bad, position), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbPosition(0, bad, position), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbModify(btr::kOpDelete, bad, key, record.bytes, 0), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbUnlock(27, bad, position), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbGetByPercent(bad, key, record.bytes, 0, 100), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbGetByPercentPhysical(bad, key, record.bytes, 0, 100), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbFindPercent(bad, key, &percentage), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbFindPercentPhysical(bad, position, &percentage), TYDB_STATUS_INVALID_HANDLE);
        EXPECT_EQ(DbGetLastDataLength(bad), TYDB_STATUS_INVALID_HANDLE);
    }
    EXPECT_EQ(percentage, 55);
    EXPECT_EQ(std::memcmp(position, "\x01\x02\x03\x04", 4), 0);
    EXPECT_EQ(static_cast<uint8_t>(record.bytes[0]), 0x33);
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(RecordRequestTest, ClosedHandleIsInvalid) {
    ASSERT_EQ(DbClose(handle), 0);
    fake->ClearLog();
    Record record;
    EXPECT_EQ(DbRead(btr::kOpGetFirst, handle, nullptr, record.bytes, 0), TYDB_STATUS_INVALID_HANDLE);
    EXPECT_TRUE(fake->Calls().empty());
}

}  // namespace
