# The third-party libraries the modules link, found the same way by this build and by a
# program that links the installed package (PelmoraZavaConfig.cmake includes this file).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n data)
find_package(pugixml REQUIRED)
find_package(nlohmann_json REQUIRED)
if(NOT TARGET PkgConfig::UUID)
  pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
endif()
if(NOT TARGET PkgConfig::PLIST)
  pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
endif()
