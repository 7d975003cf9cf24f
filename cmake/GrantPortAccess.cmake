# Run by `cmake --install` after the helper is installed (see Packaging.cmake), with
# VELMORA_GRANT_SCRIPT (grant-port-access.sh) and VELMORA_CONFIGURED_PREFIX set. Grants the helper
# its group and CAP_SYS_RAWIO only for a real install of the system: as root, into the real root
# (no DESTDIR; the package grants from its postinst instead), under the prefix the build was
# configured for (where Velmora looks for the helper), and only for a system prefix, /usr,
# /usr/local or a folder under /opt (no «..»), whose folders only root may change; the script
# checks that they do. A prefix in a home
# folder or a scratch folder is a developer's copy, whose folders its user may rearrange; it gets
# no capability unasked. A grant that is attempted and fails ends the install with the reason.
execute_process(COMMAND id -u OUTPUT_VARIABLE velmora_uid OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "(.)/+$" "\\1" velmora_prefix "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "(.)/+$" "\\1" velmora_configured "${VELMORA_CONFIGURED_PREFIX}")
set(velmora_skip "")
if(NOT "$ENV{DESTDIR}" STREQUAL "")
    set(velmora_skip "se instala en DESTDIR ($ENV{DESTDIR}), no en el sistema")
elseif(NOT velmora_uid STREQUAL "0")
    set(velmora_skip "no se instala como root")
elseif(NOT velmora_prefix STREQUAL velmora_configured)
    set(velmora_skip "el prefijo ${velmora_prefix} no es el configurado, \
${velmora_configured}, donde Velmora busca su ayudante")
elseif(velmora_prefix MATCHES "(^|/)\\.\\.?(/|$)")
    set(velmora_skip "el prefijo ${velmora_prefix} tiene «..» o «.»")
elseif(NOT velmora_prefix MATCHES "^(/usr|/usr/local|/opt/[^/].*)$")
    set(velmora_skip "${velmora_prefix} no es un prefijo del sistema (/usr, /usr/local, /opt/…)")
endif()

if(velmora_skip)
    message(STATUS "No se da acceso a los puertos al ayudante: ${velmora_skip}. Si el prefijo solo \
lo puede modificar root, ejecute como root ${VELMORA_GRANT_SCRIPT}")
    return()
endif()
execute_process(COMMAND sh "${VELMORA_GRANT_SCRIPT}" RESULT_VARIABLE velmora_result
                ERROR_VARIABLE velmora_error ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT velmora_result EQUAL 0)
    message(FATAL_ERROR "No se pudo dar acceso a los puertos al ayudante (${VELMORA_GRANT_SCRIPT}, \
estado ${velmora_result}): ${velmora_error}")
endif()
message(STATUS "Acceso a los puertos concedido al ayudante (${VELMORA_GRANT_SCRIPT})")
