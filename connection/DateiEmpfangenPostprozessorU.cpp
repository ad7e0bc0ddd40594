#include "connection/DateiEmpfangenPostprozessorU.h"

#include "resources/OrdnerU.h"

namespace tarvo::connection {

TDateiEmpfangenPostprozessor::TDateiEmpfangenPostprozessor(
    std::shared_ptr<core::IVerbindung> connection, std::shared_ptr<resources::TOrdner> ordner)
    : connection_(std::move(connection)),
      ordner_(ordner ? std::move(ordner) : resources::Ordner()) {}

void TDateiEmpfangenPostprozessor::Prompt(const std::string& text) {
    if (connection_) connection_->KanalPrompt(text, 3);
}

void TDateiEmpfangenPostprozessor::Execute(core::IDateiSenden&) {}

void TDateiEmpfangenPostprozessor::Combine(core::IDateiSenden&) {}

}  // namespace tarvo::connection
