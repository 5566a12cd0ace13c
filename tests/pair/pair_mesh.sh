#!/bin/bash
# Both programs draw the demo level's mesh models (the door, the steps and
# the walking guard) from the poses in pair_mesh_poses.txt, with the models
# and without them, the world standing still between the two; the pixels that
# differ are the models'. The two programs' masks must agree, and move when
# the camera or the models do.
#   pair_mesh.sh SOFT_DRIVER GL_DRIVER PAIR_MESH WORK_DIR POSE_FILE MIN_SHARE
set -u
soft=$1 gl=$2 mesh=$3 work=$4 pose_file=$5 minimum=$6
poses=$(grep -c '^[^#]' "$pose_file")
rm -rf "$work"
# The software program has only R_Objects for all its objects: the poses keep
# its sprites, flares and particles out of sight, and the OpenGL program's are
# turned off so that R_MeshModels alone tells the two passes apart.
soft_on=$'Set R_Flat 0\nSet R_Objects 1'
soft_off=$'Set R_Objects 0'
gl_on=$'Set R_Flat 0\nSet R_Objects 1\nSet R_MeshModels 1\nSet R_LensFlares 0\nSet R_Sprites 0\nSet R_Particles 0'
gl_off=$'Set R_MeshModels 0'
for side in soft gl; do
    driver=$soft on=$soft_on off=$soft_off
    if [ "$side" = gl ]; then
        driver=$gl on=$gl_on off=$gl_off
    fi
    # "later": the same after half a second, in which the guard walks on.
    if ! "$driver" --out "$work/$side" --width 640 --height 480 --poses "$pose_file" \
            --settle 0 --pass on "$on" --pass off "$off" \
            --settle 0.25 --pass later_on "$on" --settle 0 --pass later_off "$off" > "$work.$side.log" 2>&1; then
        echo "the $side driver failed:"
        tail -20 "$work.$side.log"
        exit 1
    fi
done
status=0
"$mesh" agree "$work/soft" "$work/gl" on off "$poses" "$minimum" || status=1
# Half a second on, the drone flies into the door's poses (0, 1); the
# guard's are compared again.
"$mesh" agree "$work/soft" "$work/gl" later_on later_off 2,3,4 "$minimum" || status=1
for side in soft gl; do
    # Poses 0 and 1 see the door from 40 units apart; the guard walks on
    # before poses 2-4 are seen again.
    "$mesh" moved "$work/$side" on off 0 on off 1 5000 || status=1
    for pose in 2 3 4; do
        "$mesh" moved "$work/$side" on off $pose later_on later_off $pose 500 || status=1
    done
done
exit $status
