#include "qt_desktop_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTextDocument>

namespace vantry::console {

QMessageBox::StandardButton QtDesktopServices::ShowMessage(QWidget* parent, QMessageBox::Icon icon,
                                                           const QString& title,
                                                           const QString& text,
                                                           QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtDesktopServices::GetOpenFileName(QWidget* parent, const QString& caption,
                                           const QString& dir, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString QtDesktopServices::GetSaveFileName(QWidget* parent, const QString& caption,
                                           const QString& dir, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

void QtDesktopServices::RunProgram(const QString& program, const QStringList& arguments,
                                   std::function<void(const ProgramResult&)> done) {
  // The process deletes itself once it has reported; `done` is called exactly once.
  auto* process = new QProcess;
  process->setProcessChannelMode(QProcess::MergedChannels);
  auto finish = [process, done = std::move(done)](int status) {
    if (process->property("reported").toBool()) return;
    process->setProperty("reported", true);
    QString output = QString::fromLocal8Bit(process->readAll()).trimmed();
    if (status < 0 && output.isEmpty()) output = process->errorString();
    process->deleteLater();
    done({status, output});
  };
  QObject::connect(process, &QProcess::finished, process,
                   [process, finish](int code, QProcess::ExitStatus how) {
                     finish(how == QProcess::NormalExit ? code : -1);
                   });
  QObject::connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart) finish(-1);
  });
  process->start(program, arguments);
}

bool QtDesktopServices::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool QtDesktopServices::OpenInTextEditor(const QString& path) {
  // The desktop's handler for a .log file is its plain text editor.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktopServices::Print(QTextDocument& document, const QString& document_name) {
  if (QPrinterInfo::defaultPrinter().isNull()) return false;
  QPrinter printer(QPrinterInfo::defaultPrinter());
  printer.setDocName(document_name);
  document.print(&printer);
  return printer.printerState() != QPrinter::Error;
}

bool QtDesktopServices::PrintHtml(const QString& html, const QString& document_name) {
  QTextDocument document;
  document.setHtml(html);
  return Print(document, document_name);
}

bool QtDesktopServices::PrintText(const QString& text, const QString& document_name) {
  QTextDocument document;
  document.setPlainText(text);
  return Print(document, document_name);
}

void QtDesktopServices::SetClipboardText(const QString& text) {
  QApplication::clipboard()->setText(text);
}

}  // namespace vantry::console
