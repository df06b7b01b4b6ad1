# The third-party libraries the modules link, found the same way by this build and by a
# program that links the installed package. The build finds them all; the package's config
# finds only those that the components asked for link.

# Every imported target a module may name in its PACKAGES.
set(PelmoraZava_THIRD_PARTY_TARGETS
  Threads::Threads ICU::uc ICU::i18n ICU::data pugixml::pugixml nlohmann_json::nlohmann_json
  PkgConfig::UUID PkgConfig::PLIST CURL::libcurl ZLIB::ZLIB)
# The pkg-config modules behind the PkgConfig:: targets.
set(PelmoraZava_PKG_CONFIG_UUID uuid)
set(PelmoraZava_PKG_CONFIG_PLIST libplist-2.0)

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
    elseif(_pelmora_zava_target MATCHES "^(Threads|pugixml|nlohmann_json|CURL|ZLIB)::")
      find_package(${CMAKE_MATCH_1} ${mode})  # packages named as their targets' namespace
    elseif(_pelmora_zava_target MATCHES "^PkgConfig::(UUID|PLIST)$")
      set(_pelmora_zava_prefix ${CMAKE_MATCH_1})
      find_package(PkgConfig ${mode})
      if(PKG_CONFIG_FOUND)
        pkg_check_modules(${_pelmora_zava_prefix} ${mode} IMPORTED_TARGET
                          ${PelmoraZava_PKG_CONFIG_${_pelmora_zava_prefix}})
      endif()
    else()
      message(FATAL_ERROR "pelmora_zava_find_packages: no rule finds ${_pelmora_zava_target}; add one beside the others")
    endif()
  endforeach()
  unset(_pelmora_zava_target)
  unset(_pelmora_zava_prefix)
endmacro()
