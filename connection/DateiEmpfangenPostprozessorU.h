// What happens to a file a receive module has completed: a plain file moves
// to the receive folder, a part of a split set waits for the others and the
// complete set is joined there.
#pragma once

#include <memory>
#include <string>

#include "core/InterfacesU.h"

namespace tarvo::resources {
class TOrdner;
}

namespace tarvo::connection {

class TDateiEmpfangenPostprozessor {
  public:
    // Without folders the process-wide ones.
    explicit TDateiEmpfangenPostprozessor(std::shared_ptr<core::IVerbindung> connection,
                                          std::shared_ptr<resources::TOrdner> ordner = nullptr);

    // The record's stream is the received file (a TFileStreamQam in "Incomplete
    // Files"); its send name is the name to store it under. Every outcome is
    // told through the connection's prompt; nothing is thrown.
    void Execute(core::IDateiSenden& record);

  private:
    void ExecuteChecked(core::IDateiSenden& record);
    void Prompt(const std::string& text);
    void Combine(core::IDateiSenden& record);

    std::shared_ptr<core::IVerbindung> connection_;
    std::shared_ptr<resources::TOrdner> ordner_;
};

}  // namespace tarvo::connection
