// demo_steps.h: the steps of `tydb demo` on a prepared folder whose settings are in place.
#ifndef TYDB_TOOLS_DEMO_STEPS_H
#define TYDB_TOOLS_DEMO_STEPS_H

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "record_layout.h"

namespace tool {

class DemoSteps {
public:
    DemoSteps(std::string folder, std::chrono::steady_clock::time_point started);

    // Every step in order; a failing library call ends the demo through Fail() with its status.
    // Files may be left open on failure; the caller closes them.
    void RunAll(int customers, int invoices);

private:
    void SetDirectories();
    void CreateFiles();
    void OpenFiles();
    void LoadCustomers(int count);
    void LoadInvoices(int count, int customers);
    void ReadByKey(int customers);
    void ReadByPosition(int customers);
    void SupplementalKey();
    void CloseFiles();
    void Report();

    std::string PathOf(const std::string& name) const;
    void Check(int32_t status, const std::string& what) const;
    void Section(const std::string& title);
    void EndSection();
    void ShowRegistry();

    std::string folder_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point sectionStart_;
    std::string sectionTitle_;
    std::vector<std::pair<std::string, double>> timings_;
    RecordLayout customerLayout_;
    RecordLayout invoiceLayout_;
    int16_t customers_ = 0;
    int16_t invoices_ = 0;
    int loadedRecords_ = 0;
    int invoiceCount_ = 0;
    double loadSeconds_ = 0;
};

}  // namespace tool

#endif  // TYDB_TOOLS_DEMO_STEPS_H
