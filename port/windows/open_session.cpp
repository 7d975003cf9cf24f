#ifdef _WIN32

#include "port_session.h"
#include "windows_port.h"

namespace port {

Session open(Fallback fallback, NoticeSink notices)
{
    return Session(
        [](const NoticeSink &) {
            const std::wstring library = WindowsPort::libraryName();
            Opened opened;
            opened.driver = WindowsPort::open(library, opened.whyNot);
            // Library names are plain ASCII.
            opened.remedy = "Para trabajar con el puerto real, la biblioteca de acceso a puertos "
                            + std::string(library.begin(), library.end())
                            + " ha de estar junto a Velmora y su controlador, instalado: ejecute "
                              "Velmora una vez como administrador (clic derecho, «Ejecutar como "
                              "administrador») y la biblioteca lo instala; después basta con "
                              "abrirlo de la forma habitual.";
            return opened;
        },
        fallback, std::move(notices));
}

} // namespace port

#endif
