// frmAd: the dialog behind "How to get rid of all these traces?". A fixed
// text on what the traces reveal, and a button that opens Tidewell's web
// page.
#pragma once

#include <QDialog>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class TfrmAd : public QDialog {
  Q_OBJECT

 public:
  // Tidewell's web page, opened by Button2.
  static constexpr const char* kTidewellPage = "http://www.brightmoor.example/tidewell/";

  explicit TfrmAd(QWidget* owner = nullptr);

  // The sixteen lines of Memo1, joined by line feeds.
  static QString AdvertisementText();

  QPlainTextEdit* Memo1;
  QFrame* Panel1;
  QPushButton* Button2;
  QPushButton* Button1;

 public slots:
  // Hands Tidewell's web page to the shell, then closes with OK.
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// Creates a fresh dialog owned by `owner`, runs it modally, ignores its
// result and destroys it, also when running it fails.
void ShowAdDialog(QWidget* owner);
