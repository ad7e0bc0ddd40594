// The info window: program, version, and the libraries the program uses with
// their licences.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "platform/LibraryVersions.h"

class QTreeWidget;

namespace tarvo::ui {

class TInfo : public QDialog {
    Q_OBJECT
  public:
    // version is code page 1252; a private build carries the notice that it is
    // not to be passed on.
    TInfo(const std::string& version, bool privateBuild,
          std::vector<platform::LibraryVersion> libraries, QWidget* parent = nullptr);

    QTreeWidget* Libraries() const { return libraries_; }

  private:
    QTreeWidget* libraries_;
};

// The toolkit first, then the linked C libraries.
std::vector<platform::LibraryVersion> UsedLibraries();

}  // namespace tarvo::ui
