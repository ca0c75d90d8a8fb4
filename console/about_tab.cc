#include "about_tab.h"

#include <QLabel>
#include <QVBoxLayout>

#include "tab_widgets.h"

namespace vantry::console {

AboutTab::AboutTab(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  auto* product = Named(new QLabel("Vantry"), "lblAboutProduct");
  QFont big = product->font();
  big.setPointSize(big.pointSize() * 3);
  big.setBold(true);
  product->setFont(big);
  product->setAlignment(Qt::AlignCenter);
  auto* line = Named(new QLabel("Gateway Monitor"), "lblAboutLine");
  QFont medium = line->font();
  medium.setPointSize(medium.pointSize() * 3 / 2);
  line->setFont(medium);
  line->setAlignment(Qt::AlignCenter);
  auto* description =
      Named(new QLabel("Vantry Monitor is the monitoring and configuration tool of the Vantry DNS "
                       "blocklist gateway service."),
            "lblAboutDescription");
  description->setAlignment(Qt::AlignCenter);
  description->setWordWrap(true);
  layout->addWidget(product);
  layout->addWidget(line);
  layout->addSpacing(16);
  layout->addWidget(description);
  layout->addStretch(2);
}

}  // namespace vantry::console
