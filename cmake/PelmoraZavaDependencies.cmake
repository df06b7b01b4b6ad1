# The third-party libraries the modules link, found the same way by this build and by a
# program that links the installed package. The build finds them all; the package's config
# finds only those that the components asked for link.

# Every imported target a module may name in its PACKAGES.
set(PelmoraZava_THIRD_PARTY_TARGETS
  Threads::Threads ICU::uc ICU::i18n ICU::data pugixml::pugixml nlohmann_json::nlohmann_json
  PkgConfig::UUID PkgConfig::PLIST CURL::libcurl ZLIB::ZLIB)

# pelmora_zava_find_packages(REQUIRED|QUIET <imported targets>...)
#
# Finds the package that provides each target. REQUIRED stops at the first one missing;
# QUIET leaves it to the caller to look for the targets that are still missing. A macro: the
# package scripts leave variables that later ones read (pkg_check_modules, PkgConfig's).
macro(pelmora_zava_find_packages mode)
  foreach(_pelmora_zava_target ${ARGN})
    if(TARGET ${_pelmora_zava_target})
      continue()
    endif()
    if(_pelmora_zava_target MATCHES "^ICU::")
      find_package(ICU ${mode} COMPONENTS uc i18n data)
    elseif(_pelmora_zava_target STREQUAL "Threads::Threads")
      find_package(Threads ${mode})
    elseif(_pelmora_zava_target STREQUAL "pugixml::pugixml")
      find_package(pugixml ${mode})
    elseif(_pelmora_zava_target STREQUAL "nlohmann_json::nlohmann_json")
      find_package(nlohmann_json ${mode})
    elseif(_pelmora_zava_target STREQUAL "CURL::libcurl")
      find_package(CURL ${mode})
    elseif(_pelmora_zava_target STREQUAL "ZLIB::ZLIB")
      find_package(ZLIB ${mode})
    elseif(_pelmora_zava_target STREQUAL "PkgConfig::UUID")
      find_package(PkgConfig ${mode})
      if(PKG_CONFIG_FOUND)
        pkg_check_modules(UUID ${mode} IMPORTED_TARGET uuid)
      endif()
    elseif(_pelmora_zava_target STREQUAL "PkgConfig::PLIST")
      find_package(PkgConfig ${mode})
      if(PKG_CONFIG_FOUND)
        pkg_check_modules(PLIST ${mode} IMPORTED_TARGET libplist-2.0)
      endif()
    else()
      message(FATAL_ERROR "pelmora_zava_find_packages: no rule finds ${_pelmora_zava_target}; add one beside the others")
    endif()
  endforeach()
  unset(_pelmora_zava_target)
endmacro()
