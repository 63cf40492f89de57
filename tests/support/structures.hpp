// Small CIF texts of known structures, written by hand for the tests.
#pragma once

namespace obrin::testing_support {

// Rock salt, symmetry by the Hermann-Mauguin symbol alone, ions as type symbols.
inline constexpr const char* kNaClCif = R"(data_NaCl
_cell_length_a 5.6402(3)
_cell_length_b 5.6402(3)
_cell_length_c 5.6402(3)
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_symmetry_space_group_name_H-M 'F m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Na1 Na1+ 0 0 0
Cl1 Cl1- 0.5 0.5 0.5
)";

// Silicon by its group number only (origin choice 1: Si on 8a at 0 0 0).
inline constexpr const char* kSiliconCif = R"(data_Si
_cell_length_a 5.43088
_cell_length_b 5.43088
_cell_length_c 5.43088
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_IT_number 227
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Si1 0 0 0 0.4632
)";

// Corundum in its hexagonal setting; Al on 12c, O on 18e.
inline constexpr const char* kCorundumCif = R"(data_corundum
_cell_length_a 4.7602
_cell_length_b 4.7602
_cell_length_c 12.9933
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 120
_space_group_name_H-M_alt 'R -3 c'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_U_iso_or_equiv
Al1 Al3+ 0 0 0.35216 0.0030
O1 O2- 0.30624 0 0.25 0.0033
)";

// P 21/n with its operators, anisotropic atoms on general positions.
inline constexpr const char* kMonoclinicCif = R"(data_p21n
_cell_length_a 7.512
_cell_length_b 9.871
_cell_length_c 6.243
_cell_angle_alpha 90
_cell_angle_beta 103.27
_cell_angle_gamma 90
loop_
_space_group_symop_operation_xyz
'x, y, z'
'-x+1/2, y+1/2, -z+1/2'
'-x, -y, -z'
'x+1/2, -y+1/2, z+1/2'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_U_iso_or_equiv
_atom_site_occupancy
Fe1 Fe3+ 0.1234 0.2111 0.3777 0.012 1
O1 O2- 0.4321 0.0712 0.1650 0.015 0.85
O2 O 0.7710 0.3921 0.0480 0.020 1
loop_
_atom_site_aniso_label
_atom_site_aniso_U_11
_atom_site_aniso_U_22
_atom_site_aniso_U_33
_atom_site_aniso_U_12
_atom_site_aniso_U_13
_atom_site_aniso_U_23
Fe1 0.010 0.014 0.011 0.002 0.003 -0.001
O1 0.020 0.012 0.015 -0.004 0.006 0.002
)";

// P 1 1 21/b: monoclinic with unique axis c, a setting the position files do not hold.
inline constexpr const char* kUniqueAxisCCif = R"(data_unique_c
_cell_length_a 5.1
_cell_length_b 6.2
_cell_length_c 7.3
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 95.5
loop_
_symmetry_equiv_pos_as_xyz
x,y,z
-x,-y+1/2,z+1/2
-x,-y,-z
x,y+1/2,-z+1/2
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Ca1 0.11 0.22 0.33
)";

}  // namespace obrin::testing_support
