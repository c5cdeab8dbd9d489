// Cel shading, fragment stage: three hard bands from the nearest-filtered, clamped toon ramp.
uniform vec4 color;
uniform sampler1D ramp;
varying float rampCoordinate;

void main()
{
    gl_FragColor = color * texture1D(ramp, rampCoordinate);
}
