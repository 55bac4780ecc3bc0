#pragma once

#include <QDialog>
#include <QStringList>

namespace tavlin {

// "Annunciators Used": what each letter beside the graticule means.
class QtAnnunciatorHelp final : public QDialog {
    Q_OBJECT

  public:
    explicit QtAnnunciatorHelp(QWidget* parent = nullptr);

    static QStringList Lines();
};

}  // namespace tavlin
