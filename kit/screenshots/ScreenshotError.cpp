#include "ScreenshotError.h"

#include <QCoreApplication>

namespace ostrel {

ScreenshotError ScreenshotError::generator(GeneratorCode code)
{
    const QString text = QCoreApplication::translate("ScreenshotError",
                                                     "The operation couldn’t be completed. (%1 error %2.)")
                             .arg(generatorDomain())
                             .arg(int(code));
    return ScreenshotError{generatorDomain(), int(code), text};
}

}  // namespace ostrel
