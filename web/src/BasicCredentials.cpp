#include "web/BasicCredentials.h"

#include "web/Base64.h"
#include "web/TextConversion.h"

namespace korvo::web {

std::string MakeBasicCredentials(std::u16string_view user, std::u16string_view password) {
    return Base64Encode(WideToAnsi(user) + ':' + WideToAnsi(password));
}

}  // namespace korvo::web
