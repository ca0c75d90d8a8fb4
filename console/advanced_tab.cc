#include "advanced_tab.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "advanced_settings.h"
#include "settings_schema.h"
#include "tab_widgets.h"

namespace vantry::console {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

AdvancedTab::AdvancedTab(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* group = Named(new QGroupBox("Gateway Settings"), "frAdvanced");
  auto* form = new QFormLayout(group);
  for (const SettingSpec& spec : SettingsSchema()) {
    const AdvancedRow* row = spec.console_advanced ? FindAdvancedRow(spec.name) : nullptr;
    if (row == nullptr) continue;
    auto* edit = new QLineEdit;
    edit->setObjectName("txt" + Text(spec.name));
    const QString tip = Text(row->tooltip) + "\n(" + Text(spec.name) + " in the settings file)";
    edit->setToolTip(tip);
    auto* label = new QLabel(Text(row->label));
    label->setToolTip(tip);
    label->setBuddy(edit);
    form->addRow(label, edit);
    connect(edit, &QLineEdit::textEdited, this, &AdvancedTab::Changed);
    boxes_.push_back({row, Text(spec.default_value), edit});
  }
  layout->addWidget(group);
  layout->addWidget(
      Note("Point at a name for what it does.  An empty box means the gateway's default where "
           "one is described.  The gateway reads these settings when it starts: restart it "
           "(Server Configuration, Restart Vantry Service) after saving."));
  layout->addStretch(1);
}

void AdvancedTab::Show(const ConsoleConfig& config) {
  for (const Box& box : boxes_) box.edit->setText(Text(config.AdvancedText(box.row->name)));
}

void AdvancedTab::CopyTo(ConsoleConfig& config) const {
  for (const Box& box : boxes_) {
    config.Advanced[std::string(box.row->name)].text = box.edit->text().trimmed().toStdString();
  }
}

QString AdvancedTab::Correct() {
  QString corrections;
  for (const Box& box : boxes_) {
    const QString trimmed = box.edit->text().trimmed();
    if (AdvancedAccepts(box.row->check, trimmed.toStdString())) continue;
    corrections += Text(box.row->message) + "\n\n";
    box.edit->setText(box.default_text);
  }
  return corrections;
}

}  // namespace vantry::console
