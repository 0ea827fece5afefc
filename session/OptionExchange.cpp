#include "session/OptionExchange.h"

OptionExchangeBlock& optionExchange() {
    static OptionExchangeBlock block;
    return block;
}
