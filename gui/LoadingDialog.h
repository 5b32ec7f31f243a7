// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>
#include <thread>

class QProgressBar;

namespace tavrisk {

// "Loading...": runs a long preparation on a worker thread while a progress bar shows how far
// it is. The worker reports percentages (0..100) through the function it is handed; each report
// is queued to the dialog's thread and never waited on. The dialog closes itself when a report
// is exactly 100, so a worker ends its work by reporting 100. The worker starts when the dialog
// is first shown, and the dialog never outlives it: its destructor waits for the worker.
class LoadingDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Loading...";
    static constexpr const char* kPleaseWait = "Please Wait...";
    static constexpr int kProgressId = 1005;

    using Report = std::function<void(int percent)>;
    using Worker = std::function<void(const Report& report)>;

    // A null caption keeps the title "Loading...".
    LoadingDialog(const char* caption, Worker worker, QWidget* parent = nullptr);
    ~LoadingDialog() override;

    LoadingDialog(const LoadingDialog&) = delete;
    LoadingDialog& operator=(const LoadingDialog&) = delete;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnProgress(int percent);

    QProgressBar* progress;
    Worker worker;
    std::thread thread;
};

}  // namespace tavrisk
