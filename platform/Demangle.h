#pragma once

#include <string>
#include <typeinfo>

namespace tarvo::platform {

// The readable name of a type ("std::runtime_error").
std::string DemangledTypeName(const std::type_info& type);

}  // namespace tarvo::platform
