// Asks how the files about to be sent go: protocol and part size.
#pragma once

#include <optional>

#include "filesend/DateiSendenPraeprozessorU.h"

class QWidget;

namespace tarvo::ui {

// Modal; nullopt when the operator cancels.
std::optional<filesend::TSendeOptionen> AskSendeOptionen(QWidget* parent,
                                                         const filesend::TSendeOptionen& preset);

}  // namespace tarvo::ui
