#include "port_error.h"

#include <gtest/gtest.h>

TEST(PortError, NamesTheAddressInDecimalAndHexTheReasonAndTheRemedy)
{
    using Access = port::PortError::Access;
    EXPECT_STREQ(port::PortError(Access::Read, 888, {"un motivo", "Haga algo.", 13}).what(),
                 "No se pudo leer el puerto 888 (378h): un motivo.\n\nHaga algo.");
    EXPECT_STREQ(port::PortError(Access::Write, 0xFFFF, {"otro motivo", "", 0}).what(),
                 "No se pudo escribir en el puerto 65535 (FFFFh): otro motivo.");
}
