# The Debian package: cpack -G DEB in a build folder (./build.sh package) writes
# obrin_<version>_<arch>.deb. Its dependencies are those of the shared libraries the programs
# link, found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME obrin)
set(CPACK_PACKAGE_VENDOR "The OBRIN developers")
set(CPACK_PACKAGE_CONTACT "The OBRIN developers <developers@obrin.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lines of an X-ray powder diffraction pattern")
# CPack puts the summary first and indents these lines; an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION "OBRIN lists the reflections h k l of a crystal with their interplanar
spacing d, their Bragg angle (theta or 2-theta) and their multiplicity,
from a crystal system, a space group, the cell parameters and a
wavelength. Its modes are the powder pattern between two Bragg angles,
every allowed reflection inside Miller-index limits (single crystal) and
one reflection at a time (Bragg equation).

A crystal structure imported from a CIF gives the cell, the space group
and the atoms, and every line its relative intensity (form factors,
occupancies, displacements, Lorentz-polarisation factor). The Pattern
window draws the lines over a measured pattern (plain columns, xrdml,
Bruker, Rigaku, GSAS and other instrument files), with Kalpha-2
companions and a simulated profile, and exports pictures and lines.

The package holds the window program obrin, the command-line program
obrin-cli with its drawing helper obrin-plot, and the space-group
position files they read.")
# Directories the package creates must be 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
