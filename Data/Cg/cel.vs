// Cel shading, vertex stage: the ramp coordinate is the cosine between the eye-space normal and
// the light direction; "light_position" has w = 0, so it is a direction given in eye space.
uniform vec4 light_position;
varying float rampCoordinate;

void main()
{
    // Mesh normals are sums of face normals, not unit length.
    vec3 normal = normalize(gl_NormalMatrix * gl_Normal);
    vec3 towardsLight = normalize(light_position.xyz);
    rampCoordinate = dot(normal, towardsLight);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
